// Deliberately without <termios.h> and <sys/ioctl.h>: their struct termios
// and the kernel's below cannot meet in one translation unit.
#include "platform/posix_serial_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace q7k {

int SetArbitraryBitRate(int fd, uint32_t baud) {
  if (baud == 0) return EINVAL;
  struct termios2 settings;
  if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = baud;
  settings.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
  return 0;
}

int GetArbitraryBitRate(int fd, uint32_t* baud) {
  struct termios2 settings;
  if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
  *baud = settings.c_ospeed;
  return 0;
}

}  // namespace q7k
