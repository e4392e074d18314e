// RawClient: the smallest serial client, the floor the component is
// measured against: raw mode, non-blocking, an input flush before each
// request, one write, then poll and read until the reply is in.
//
// Thread safety: one thread per object.
#ifndef Q7K_BENCH_RAW_CLIENT_H_
#define Q7K_BENCH_RAW_CLIENT_H_

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "bench/bench_frames.h"

namespace q7k {
namespace bench {

class RawClient {
 public:
  explicit RawClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio = {};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&tio, B115200);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  // A connected socket instead (a device server's raw port): owned from
  // here on; the input flush then does nothing, which costs nothing.
  explicit RawClient(int fd) : fd_(fd) {}
  ~RawClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  bool RoundTrip(const Bytes& request, size_t replySize) {
    tcflush(fd_, TCIFLUSH);
    if (write(fd_, request.data(), request.size()) !=
        static_cast<ssize_t>(request.size())) {
      return false;
    }
    // poll() first: a reply cannot be there yet, and a read that says so
    // would cost a system call the component does not make.
    uint8_t reply[256];
    for (size_t got = 0; got < replySize;) {
      pollfd p = {fd_, POLLIN, 0};
      if (poll(&p, 1, 4000) == 0) return false;
      const ssize_t n = read(fd_, reply, sizeof reply);
      if (n > 0) {
        got += static_cast<size_t>(n);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        return false;
      }
    }
    return true;
  }

 private:
  int fd_ = -1;
};

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_RAW_CLIENT_H_
