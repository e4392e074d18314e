// NetworkSocket on POSIX sockets: a descriptor like a terminal's, so
// waiting is poll exactly as on a tty.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/host_lookup.h"
#include "platform/network_socket.h"

namespace q7k {

const uint32_t kNetHostUnreachable = EHOSTUNREACH;
const uint32_t kNetTimedOut = ETIMEDOUT;
const uint32_t kNetClosed = EIO;  // as a hung-up terminal's end of file
const uint32_t kNetReset = ECONNRESET;
const uint32_t kNetBusy = EBUSY;
const uint32_t kNetNoComPort = EPROTONOSUPPORT;
const uint32_t kNetFormatRefused = EINVAL;

namespace {

uint32_t SocketError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return static_cast<uint32_t>(errno);
  }
  return static_cast<uint32_t>(error);
}

// One address, non-blocking, within the deadline. The descriptor or -1
// with *error set.
int ConnectOne(const struct addrinfo* a, int64_t deadlineMs, uint32_t* error) {
  const int fd =
      socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
             a->ai_protocol);
  if (fd < 0) {
    *error = static_cast<uint32_t>(errno);
    return -1;
  }
  if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      *error = static_cast<uint32_t>(errno);
      close(fd);
      return -1;
    }
    struct pollfd p = {fd, POLLOUT, 0};
    int ready;
    while ((ready = poll(&p, 1, NetworkRemainingMs(deadlineMs))) < 0 &&
           errno == EINTR) {
    }
    // An address that never answers is as good as no route to it.
    *error = ready == 0 ? EHOSTUNREACH : SocketError(fd);
    if (*error != 0) {
      close(fd);
      return -1;
    }
  }
  const int on = 1;
  // Exchanges are short; Nagle's delay would double their round trip.
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

// Servers that send a reply in two segments hold the second back until the
// first is acknowledged (Nagle); acknowledging at once, not after the
// delayed-ACK time, saves that wait on every exchange. The kernel drops the
// mode by itself, so it is asked for again after every receive.
void AcknowledgeAtOnce(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

}  // namespace

HostAddresses::~HostAddresses() {
  if (list != nullptr) freeaddrinfo(list);
}

// Hosts here never unload the library while it may run (Python keeps its
// modules; dlclose under a running thread is undefined anyway).
void KeepLibraryLoaded() {}

void SystemLookUp(bool numericOnly, HostAddresses* addresses) {
  struct addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
  addresses->result =
      getaddrinfo(addresses->url.host.c_str(), addresses->url.service.c_str(),
                  &hints, &addresses->list);
}

struct NetworkSocket::State {
  int fd = -1;
};

NetworkSocket::NetworkSocket() : state_(std::make_unique<State>()) {}

NetworkSocket::~NetworkSocket() {
  if (state_->fd >= 0) close(state_->fd);
}

intptr_t NetworkSocket::Handle() const { return state_->fd; }

uint32_t NetworkSocket::Connect(const PortUrl& url, int64_t deadlineMs) {
  const auto addresses = LookUpHost(url, deadlineMs);
  if (!addresses) return kNetHostUnreachable;
  uint32_t error = EHOSTUNREACH;
  for (const struct addrinfo* a = addresses->list;
       a != nullptr && state_->fd < 0; a = a->ai_next) {
    state_->fd = ConnectOne(a, deadlineMs, &error);
  }
  return state_->fd >= 0 ? 0 : error;
}

int32_t NetworkSocket::Receive(uint8_t* buffer, size_t n, uint32_t* error) {
  for (;;) {
    const ssize_t got = recv(state_->fd, buffer, n, MSG_DONTWAIT);
    if (got > 0) {
      AcknowledgeAtOnce(state_->fd);
      return static_cast<int32_t>(got);
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    *error = got == 0 ? kNetClosed : static_cast<uint32_t>(errno);
    return -1;
  }
}

int32_t NetworkSocket::Send(const uint8_t* bytes, size_t n, uint32_t* error) {
  for (;;) {
    const ssize_t put = send(state_->fd, bytes, n, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (put >= 0) return static_cast<int32_t>(put);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    *error = static_cast<uint32_t>(errno);
    return -1;
  }
}

SocketReady NetworkSocket::Wait(uint32_t interest, const WakeEvent* first,
                                const WakeEvent* second,
                                int32_t timeoutMs) const {
  SocketReady result;
  struct pollfd fds[3] = {};
  int where[3] = {-1, -1, -1};  // by kind: socket, first, second
  nfds_t count = 0;
  if (interest != 0) {
    short events = 0;
    if ((interest & kWaitReadable) != 0) events |= POLLIN;
    if ((interest & kWaitWritable) != 0) events |= POLLOUT;
    if ((interest & kWaitHangup) != 0) events |= POLLRDHUP;
    where[0] = static_cast<int>(count);
    fds[count++] = {state_->fd, events, 0};
  }
  for (int i = 0; i < 2; ++i) {
    const WakeEvent* event = i == 0 ? first : second;
    if (event == nullptr) continue;
    where[i + 1] = static_cast<int>(count);
    fds[count++] = {static_cast<int>(event->Handle()), POLLIN, 0};
  }
  const int polled = poll(fds, count, timeoutMs);
  if (polled < 0) {
    if (errno != EINTR) result.error = static_cast<uint32_t>(errno);
    return result;
  }
  result.timedOut = polled == 0;
  if (where[0] >= 0) {
    const short revents = fds[where[0]].revents;
    result.readable = (revents & POLLIN) != 0;
    result.writable = (revents & POLLOUT) != 0;
    result.hangup = (revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (result.hangup) result.error = (revents & POLLNVAL) != 0 ? EBADF : EIO;
  }
  for (int i = 0; i < 2; ++i) {
    result.signalled[i] =
        where[i + 1] >= 0 && (fds[where[i + 1]].revents & POLLIN) != 0;
  }
  return result;
}

}  // namespace q7k
