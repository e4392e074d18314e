// ComPortServer: the instrument's side of Telnet com-port control on the
// emulator's network listener. It agrees to BINARY, SUPPRESS-GO-AHEAD and
// COM-PORT-OPTION in either direction and refuses every other option; it
// answers each line setting with the value in effect afterwards, so a
// client learns what the instrument really took:
//
// - the rate: any of the instrument's rates (9600 to 128000, 112500 among
//   them) or the paced rate; another rate is answered with the rate in
//   effect, unchanged. The line starts at the paced rate, else 9600. The
//   rate asked for does not change the pacing (a pseudo-terminal's host
//   does not change it either).
// - data size 8, no parity, one stop bit: nothing else is taken.
// - flow control none; DTR, RTS and break are taken and reported.
// - purges are acknowledged. Nothing waits in the emulator to be purged:
//   replies are written whole, and what a client sent is the
//   instrument's already, as with a device server whose line has carried it.
// - the modem state (CTS, DSR and carrier on: the instrument is powered)
//   is sent once its mask is set, masked by it.
//
// Thread safety: none; the listener's worker owns it.
#ifndef Q7K_EMULATOR_COM_PORT_SERVER_H_
#define Q7K_EMULATOR_COM_PORT_SERVER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "telnet_parser.h"

namespace q7k {
namespace emu {

struct ComPortSettings {
  uint32_t baud = 9600;
  uint8_t dataSize = 8;
  uint8_t parity = 1;    // the protocol's code: 1 none
  uint8_t stopSize = 1;  // the protocol's code: 1 one stop bit
  bool dtr = true;
  bool rts = true;
  bool lineBreak = false;
};

class ComPortServer : private TelnetParser::Handler {
 public:
  class Events {
   public:
    virtual ~Events() = default;
    // Data for the instrument, in stream order with the commands.
    virtual void OnLineData(const uint8_t* data, size_t n) = 0;
    // Telnet bytes for the client, ready to send as they are.
    virtual void OnReply(const std::vector<uint8_t>& bytes) = 0;
    // which: 1 the server's receive buffer, 2 its transmit buffer, 3 both.
    virtual void OnPurge(uint8_t which) = 0;
    virtual void OnBreak(bool on) = 0;
  };

  // pacedBaud: the line's paced rate, 0 when unpaced.
  ComPortServer(uint32_t pacedBaud, Events* events);

  void Feed(const uint8_t* in, size_t n) { parser_.Feed(in, n, this); }
  // A new client: options off, settings as at the start.
  void Reset();
  const ComPortSettings& settings() const { return settings_; }
  // The line-state bits the client asked to hear of; none until it asks.
  uint8_t lineStateMask() const { return lineMask_; }

 private:
  void OnData(const uint8_t* data, size_t n) override;
  void OnNegotiation(uint8_t verb, uint8_t option) override;
  void OnSubnegotiation(uint8_t option, const uint8_t* body, size_t n) override;
  void Control(uint8_t value);
  void Answer(uint8_t command, const uint8_t* value, size_t n);
  bool RateTaken(uint32_t baud) const;

  TelnetParser parser_;
  uint32_t pacedBaud_;
  Events* events_;
  ComPortSettings settings_;
  std::array<bool, 256> peerWill_{};  // the client's side of each option
  std::array<bool, 256> weWill_{};    // ours
  uint8_t modemMask_ = 0;
  uint8_t lineMask_ = 0;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_COM_PORT_SERVER_H_
