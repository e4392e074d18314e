// A TCP connection to a loopback port for RawClient, without Nagle's
// delay, as the floor a network port is measured against.
#ifndef Q7K_BENCH_TCP_CLIENT_H_
#define Q7K_BENCH_TCP_CLIENT_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace q7k {
namespace bench {

// The connected descriptor, or -1.
inline int ConnectLoopback(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_TCP_CLIENT_H_
