// The bytes of one power-on transaction, built by the tests' own wire
// encoder (tests/support/wire.h) rather than by the library, so the
// raw-termios floor owes nothing to the code it is compared with.
//
// Thread safety: pure functions.
#ifndef Q7K_BENCH_BENCH_FRAMES_H_
#define Q7K_BENCH_BENCH_FRAMES_H_

#include <cstdint>

#include "support/wire.h"

namespace q7k {
namespace bench {

// What the answering peer looks for to find the end of a request line.
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint16_t kPowerOnCommand = 2;

// 10 02 00 00 02 00 00 00 02 00 10 03
inline Bytes PowerOnRequestLine() {
  return LineBytes(RequestFrame(kPowerOnCommand, {}));
}

// 10 02 00 00 FE FF 01 00 06 04 02 10 03
inline Bytes PowerOnAckLine() { return LineBytes(AckFrame(kPowerOnCommand)); }

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_BENCH_FRAMES_H_
