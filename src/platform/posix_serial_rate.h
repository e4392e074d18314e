// Arbitrary serial bit rates on Linux. The instrument's rates 14400, 112500
// and 128000 have no Bnnn constant, so every rate goes through the kernel's
// termios2 interface (BOTHER). Those declarations clash with <termios.h>,
// hence this separate translation unit.
//
// Thread safety: plain system calls on the caller's descriptor.
#ifndef Q7K_PLATFORM_POSIX_SERIAL_RATE_H_
#define Q7K_PLATFORM_POSIX_SERIAL_RATE_H_

#include <cstdint>

namespace q7k {

// Sets input and output rate of the terminal fd to baud. 0 or errno; baud 0
// (which would hang the line up) is refused with EINVAL.
int SetArbitraryBitRate(int fd, uint32_t baud);
// The output rate the terminal fd runs at now, in bit/s. 0 or errno.
int GetArbitraryBitRate(int fd, uint32_t* baud);

}  // namespace q7k

#endif  // Q7K_PLATFORM_POSIX_SERIAL_RATE_H_
