// The bytes of one power-on transaction, built here from the wire layout
// rather than by the library, so the raw-termios floor owes nothing to the
// code it is compared with.
//
// Frame:  lead 00 00 | number (2 bytes LE) | payload length (2 bytes LE) |
//         payload | checksum (2 bytes LE: low 16 bits of the sum of every
//         byte before it).
//         A request's number is its command; a reply's is 0x10000 - command
//         and its payload starts with ACK (06).
// Line:   10 02 | frame with every 10 doubled | 10 03.
//
// Thread safety: pure functions.
#ifndef Q7K_BENCH_BENCH_FRAMES_H_
#define Q7K_BENCH_BENCH_FRAMES_H_

#include <cstdint>
#include <vector>

namespace q7k {
namespace bench {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kAckByte = 0x06;
inline constexpr uint16_t kPowerOnCommand = 2;

inline Bytes Frame(uint16_t number, const Bytes& payload) {
  const auto n = static_cast<uint16_t>(payload.size());
  Bytes f = {0x00,
             0x00,
             static_cast<uint8_t>(number),
             static_cast<uint8_t>(number >> 8),
             static_cast<uint8_t>(n),
             static_cast<uint8_t>(n >> 8)};
  for (uint8_t b : payload) f.push_back(b);
  uint32_t sum = 0;
  for (uint8_t b : f) sum += b;
  f.push_back(static_cast<uint8_t>(sum));
  f.push_back(static_cast<uint8_t>(sum >> 8));
  return f;
}

inline Bytes LineEncode(const Bytes& frame) {
  Bytes line = {kDle, kStx};
  for (uint8_t b : frame) {
    line.push_back(b);
    if (b == kDle) line.push_back(kDle);
  }
  line.push_back(kDle);
  line.push_back(kEtx);
  return line;
}

// 10 02 00 00 02 00 00 00 02 00 10 03
inline Bytes PowerOnRequestLine() {
  return LineEncode(Frame(kPowerOnCommand, {}));
}

// 10 02 00 00 FE FF 01 00 06 04 02 10 03
inline Bytes PowerOnAckLine() {
  return LineEncode(
      Frame(static_cast<uint16_t>(0x10000u - kPowerOnCommand), {kAckByte}));
}

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_BENCH_FRAMES_H_
