// PortSettings: the line settings a client asks a port to open with.
//
// Thread safety: a plain value.
#ifndef Q7K_LINK_PORT_SETTINGS_H_
#define Q7K_LINK_PORT_SETTINGS_H_

#include <cstdint>

namespace q7k {

// -1 keeps what the device had (DTR and RTS then default to on, the
// handshakes to off). parity is a letter N, O, E, M or S (lower case
// accepted), dataBits 5..8, stopBits 1 or 2, the rest flags.
struct PortSettings {
  int32_t baud = -1;
  int32_t parity = -1;
  int32_t dataBits = -1;
  int32_t stopBits = -1;
  int32_t dtr = -1;
  int32_t rts = -1;
  int32_t xonXoff = -1;
  int32_t ctsHandshake = -1;
  int32_t dsrHandshake = -1;

  // The instrument's line: baud bit/s, 8 data bits, no parity, 1 stop bit,
  // DTR and RTS on, no handshakes.
  static PortSettings Instrument(int32_t baud) {
    return PortSettings{baud, 'N', 8, 1, 1, 1, 0, 0, 0};
  }
};

}  // namespace q7k

#endif  // Q7K_LINK_PORT_SETTINGS_H_
