// TcpClient: the smallest client of a device server's raw TCP port, the
// floor a network port is measured against: no delay, input drained before
// each request, one send, then poll and receive until the reply is in. It
// acknowledges at once as the component does, so both wait on the server
// alike.
//
// Thread safety: one thread per object.
#ifndef Q7K_BENCH_TCP_CLIENT_H_
#define Q7K_BENCH_TCP_CLIENT_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "bench/bench_frames.h"

namespace q7k {
namespace bench {

class TcpClient {
 public:
  explicit TcpClient(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd_);
      fd_ = -1;
      return;
    }
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~TcpClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  bool RoundTrip(const Bytes& request, size_t replySize) {
    uint8_t reply[256];
    while (recv(fd_, reply, sizeof reply, MSG_DONTWAIT) > 0) {
    }
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
      return false;
    }
    for (size_t got = 0; got < replySize;) {
      pollfd p = {fd_, POLLIN, 0};
      if (poll(&p, 1, 4000) == 0) return false;
      const ssize_t n = recv(fd_, reply, sizeof reply, MSG_DONTWAIT);
      if (n > 0) {
        const int on = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
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

#endif  // Q7K_BENCH_TCP_CLIENT_H_
