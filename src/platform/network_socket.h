// NetworkSocket: one TCP connection to a device server, the part of a
// network serial port that differs by platform (posix_network_socket.cc,
// win32_network_socket.cc). Transfers never block; Wait is the one
// blocking call, and the wake events given to it interrupt it.
//
// Thread safety: Connect and the destructor must not run concurrently with
// anything else; between them Receive, Send and Wait may be called from
// different threads at once.
#ifndef Q7K_PLATFORM_NETWORK_SOCKET_H_
#define Q7K_PLATFORM_NETWORK_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/port_url.h"
#include "platform/serial_io.h"
#include "platform/wake_event.h"

namespace q7k {

// The platform's codes for what a network port reports, so that the
// component classifies them as it does a local device's.
extern const uint32_t kNetHostUnreachable;  // no such host, no route
extern const uint32_t kNetTimedOut;
extern const uint32_t kNetClosed;         // the server closed the connection
extern const uint32_t kNetReset;          // ... while the port was opening
extern const uint32_t kNetBusy;           // the server serves another client
extern const uint32_t kNetNoComPort;      // it refuses COM-port control
extern const uint32_t kNetFormatRefused;  // it runs another line format

struct SocketReady {
  bool readable = false;
  bool writable = false;
  bool hangup = false;     // the server closed or the connection failed
  uint32_t error = 0;      // why, with hangup, or why the wait failed
  bool signalled[2] = {};  // the wake events given, not drained
  // The wait's own time ran out. A wait may also end with none of the above
  // (woken for writing, interrupted): that is not a time-out.
  bool timedOut = false;
};

class NetworkSocket {
 public:
  NetworkSocket();
  ~NetworkSocket();  // Closes.
  NetworkSocket(const NetworkSocket&) = delete;
  NetworkSocket& operator=(const NetworkSocket&) = delete;

  // Looks the host up and connects to the first address that answers, all
  // by deadlineMs (on CurrentClock). 0 or the error code. REQUIRES: called
  // once.
  uint32_t Connect(const PortUrl& url, int64_t deadlineMs);
  // A non-negative value identifying the connection while it is open.
  intptr_t Handle() const;

  // The bytes moved, 0 when the socket would block, or -1 with *error set
  // (kNetClosed once the server closed).
  int32_t Receive(uint8_t* buffer, size_t n, uint32_t* error);
  int32_t Send(const uint8_t* bytes, size_t n, uint32_t* error);

  // Blocks until the socket is ready for what interest asks (kWait* bits;
  // 0 leaves the socket out), first or second (which may be null) is
  // signalled, or timeoutMs passed (-1: no limit). first is the waiting
  // thread's own: it may also be rung when another thread's wait took news
  // of the socket that this one needs.
  SocketReady Wait(uint32_t interest, const WakeEvent* first,
                   const WakeEvent* second, int32_t timeoutMs) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Milliseconds on CurrentClock, and what is left of a deadline in them.
int64_t NetworkNowMs();
int32_t NetworkRemainingMs(int64_t deadlineMs);

}  // namespace q7k

#endif  // Q7K_PLATFORM_NETWORK_SOCKET_H_
