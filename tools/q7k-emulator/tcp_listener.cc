#include "tcp_listener.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace q7k {
namespace emu {
namespace {

constexpr char kTelnetScheme[] = "rfc2217://";
constexpr char kRawScheme[] = "socket://";

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// "host:port" or "[v6]:port" of a socket address, numeric.
std::string Name(const sockaddr* sa, socklen_t len) {
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getnameinfo(sa, len, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "?";
  }
  const std::string h = host;
  return (h.find(':') != std::string::npos ? "[" + h + "]" : h) + ":" + port;
}

}  // namespace

bool ParseListenUrl(const std::string& url, ListenAddress* out,
                    std::string* error) {
  ListenAddress a;
  std::string rest;
  if (StartsWith(url, kTelnetScheme)) {
    a.telnet = true;
    rest = url.substr(std::strlen(kTelnetScheme));
  } else if (StartsWith(url, kRawScheme)) {
    rest = url.substr(std::strlen(kRawScheme));
  } else {
    *error = "expected rfc2217://ADDR:PORT or socket://ADDR:PORT";
    return false;
  }
  size_t colon = std::string::npos;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() ||
        rest[close + 1] != ':') {
      *error = "expected [IPV6-ADDRESS]:PORT";
      return false;
    }
    a.host = rest.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = rest.rfind(':');
    if (colon == std::string::npos ||
        rest.find(':') != colon) {  // a bare IPv6 address needs brackets
      *error = "expected ADDR:PORT (an IPv6 address in brackets)";
      return false;
    }
    a.host = rest.substr(0, colon);
  }
  a.port = rest.substr(colon + 1);
  char* end = nullptr;
  const long port = std::strtol(a.port.c_str(), &end, 10);
  if (a.port.empty() || *end != '\0' || port < 0 || port > 65535) {
    *error = "the port must be a number from 0 to 65535";
    return false;
  }
  *out = a;
  return true;
}

bool TcpListener::Open(const std::string& url, std::string* error) {
  Close();
  if (!ParseListenUrl(url, &address_, error)) return false;
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int rc =
      getaddrinfo(address_.host.empty() ? nullptr : address_.host.c_str(),
                  address_.port.c_str(), &hints, &found);
  if (rc != 0) {
    *error = "listen " + url + ": " + gai_strerror(rc);
    return false;
  }
  int lastErrno = 0;
  for (addrinfo* ai = found; ai != nullptr && fd_ < 0; ai = ai->ai_next) {
    const int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                 ai->ai_protocol);
    if (fd < 0) {
      lastErrno = errno;
      continue;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
      lastErrno = errno;
      ::close(fd);
      continue;
    }
    fd_ = fd;
  }
  freeaddrinfo(found);
  if (fd_ < 0) {
    *error = "listen " + url + ": " + std::strerror(lastErrno);
    return false;
  }
  sockaddr_storage bound;
  socklen_t len = sizeof bound;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &len);
  url_ = std::string(address_.telnet ? kTelnetScheme : kRawScheme) +
         Name(reinterpret_cast<sockaddr*>(&bound), len);
  return true;
}

void TcpListener::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  url_.clear();
}

int TcpListener::Accept(std::string* peer) {
  sockaddr_storage from;
  socklen_t len = sizeof from;
  const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&from), &len,
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return -1;
  // Replies are whole frames or paced slices: each should leave at once.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  *peer = Name(reinterpret_cast<sockaddr*>(&from), len);
  return fd;
}

void RefuseConnection(int fd, const char* text) {
  (void)!::send(fd, text, std::strlen(text), MSG_NOSIGNAL | MSG_DONTWAIT);
  CloseConnection(fd);
}

void CloseConnection(int fd) {
  ::shutdown(fd, SHUT_WR);
  char drop[512];
  while (::recv(fd, drop, sizeof drop, MSG_DONTWAIT) > 0) {
  }
  ::close(fd);
}

}  // namespace emu
}  // namespace q7k
