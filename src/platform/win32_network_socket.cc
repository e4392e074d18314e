// NetworkSocket on Winsock. A socket is no waitable handle, so it is tied
// to an event object (WSAEventSelect) that the waits include beside the
// wake events. Winsock records each kind of network event once until the
// call that re-enables it (a receive for FD_READ, a send that would block
// for FD_WRITE), so the event alone says "something changed", never "data
// is there": every wait first asks the socket's state with a zero-time
// select and blocks only when nothing is ready. One event serves every
// waiting thread: whoever takes it rings the others, as the serial
// device's shared WaitCommEvent does in win32_serial_io.cc.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/host_lookup.h"
#include "platform/network_socket.h"

namespace q7k {

const uint32_t kNetHostUnreachable = WSAEHOSTUNREACH;
const uint32_t kNetTimedOut = WSAETIMEDOUT;
const uint32_t kNetClosed = WSAECONNRESET;
const uint32_t kNetReset = WSAECONNRESET;
const uint32_t kNetBusy = ERROR_BUSY;
const uint32_t kNetNoComPort = WSAEPROTONOSUPPORT;
const uint32_t kNetFormatRefused = ERROR_INVALID_PARAMETER;

namespace {

// Winsock is started once per process and never stopped: a second start
// from another thread, or a stop while another port still uses it, would
// be the caller's race to lose. The system releases it at exit.
uint32_t StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return static_cast<uint32_t>(started);
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsSignalled(HANDLE event) {
  return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// One address, non-blocking, within the deadline: the socket, or
// INVALID_SOCKET with *error set.
SOCKET ConnectOne(const ADDRINFOA* a, int64_t deadlineMs, uint32_t* error) {
  const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
  if (s == INVALID_SOCKET) {
    *error = static_cast<uint32_t>(WSAGetLastError());
    return s;
  }
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
  if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
    const int failure = WSAGetLastError();
    if (failure != WSAEWOULDBLOCK) {
      *error = static_cast<uint32_t>(failure);
      closesocket(s);
      return INVALID_SOCKET;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const int32_t ms = NetworkRemainingMs(deadlineMs);
    timeval limit = {ms / 1000, (ms % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &limit);
    int socketError = 0;
    int length = sizeof socketError;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError),
               &length);
    // An address that never answers is as good as no route to it.
    *error = ready == 0                    ? WSAEHOSTUNREACH
             : ready < 0                   ? WSAGetLastError()
             : FD_ISSET(s, &writable) != 0 ? socketError
             : socketError != 0            ? socketError
                                           : WSAECONNREFUSED;
    if (*error != 0) {
      closesocket(s);
      return INVALID_SOCKET;
    }
  }
  const BOOL noDelay = TRUE;
  // Exchanges are short; Nagle's delay would double their round trip.
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY,
             reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  return s;
}

}  // namespace

HostAddresses::~HostAddresses() {
  if (list != nullptr) freeaddrinfo(list);
}

// A host may free the in-process server's DLL once it holds no object
// (CoFreeUnusedLibraries), while a lookup thread still runs in it.
void KeepLibraryLoaded() {
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
      reinterpret_cast<LPCSTR>(&KeepLibraryLoaded), &self);
}

void SystemLookUp(bool numericOnly, HostAddresses* addresses) {
  ADDRINFOA hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
  addresses->result =
      getaddrinfo(addresses->url.host.c_str(), addresses->url.service.c_str(),
                  &hints, &addresses->list);
}

struct NetworkSocket::State {
  SOCKET socket = INVALID_SOCKET;
  HANDLE event = nullptr;  // set by the socket's network events

  std::mutex mutex;
  bool closed = false;  // the server closed: Winsock says so only once
  uint32_t closeError = 0;
  // Wake events of the threads blocked on the socket's event.
  std::vector<HANDLE> waiters;

  // What the socket is ready for now. REQUIRES: mutex held.
  SocketReady Poll(uint32_t interest) {
    SocketReady ready;
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if ((interest & kWaitReadable) != 0) FD_SET(socket, &readable);
    if ((interest & kWaitWritable) != 0) FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval now = {0, 0};
    if (select(0, &readable, &writable, &failed, &now) < 0) {
      ready.hangup = true;
      ready.error = static_cast<uint32_t>(WSAGetLastError());
      return ready;
    }
    ready.readable = FD_ISSET(socket, &readable) != 0;
    ready.writable = FD_ISSET(socket, &writable) != 0;
    if (closed || FD_ISSET(socket, &failed) != 0) {
      ready.hangup = true;
      ready.error = closeError != 0 ? closeError : kNetClosed;
    }
    return ready;
  }

  // Takes the recorded network events after the event fired and passes
  // the news to the other waiters. REQUIRES: mutex held.
  void TakeEvents(HANDLE self) {
    WSANETWORKEVENTS happened = {};
    if (WSAEnumNetworkEvents(socket, event, &happened) == 0 &&
        (happened.lNetworkEvents & FD_CLOSE) != 0) {
      closed = true;
      closeError = static_cast<uint32_t>(happened.iErrorCode[FD_CLOSE_BIT]);
    }
    for (HANDLE other : waiters) {
      if (other != self) SetEvent(other);
    }
  }

  ~State() {
    if (socket != INVALID_SOCKET) closesocket(socket);
    if (event != nullptr) WSACloseEvent(event);
  }
};

NetworkSocket::NetworkSocket() : state_(std::make_unique<State>()) {}
NetworkSocket::~NetworkSocket() = default;

intptr_t NetworkSocket::Handle() const {
  return state_->socket == INVALID_SOCKET
             ? -1
             : static_cast<intptr_t>(state_->socket);
}

uint32_t NetworkSocket::Connect(const PortUrl& url, int64_t deadlineMs) {
  if (const uint32_t error = StartWinsock()) return error;
  State& s = *state_;
  s.event = WSACreateEvent();
  if (s.event == WSA_INVALID_EVENT) {
    s.event = nullptr;
    return static_cast<uint32_t>(WSAGetLastError());
  }
  const auto addresses = LookUpHost(url, deadlineMs);
  if (!addresses) return kNetHostUnreachable;
  uint32_t error = WSAEHOSTUNREACH;
  for (const ADDRINFOA* a = addresses->list;
       a != nullptr && s.socket == INVALID_SOCKET; a = a->ai_next) {
    s.socket = ConnectOne(a, deadlineMs, &error);
  }
  if (s.socket == INVALID_SOCKET) return error;
  if (WSAEventSelect(s.socket, s.event, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
    return static_cast<uint32_t>(WSAGetLastError());
  }
  return 0;
}

int32_t NetworkSocket::Receive(uint8_t* buffer, size_t n, uint32_t* error) {
  const int got = recv(state_->socket, reinterpret_cast<char*>(buffer),
                       static_cast<int>(std::min<size_t>(n, 1 << 20)), 0);
  if (got > 0) return got;
  if (got == 0) {
    *error = kNetClosed;
    return -1;
  }
  const int failure = WSAGetLastError();
  if (failure == WSAEWOULDBLOCK) return 0;
  *error = static_cast<uint32_t>(failure);
  return -1;
}

int32_t NetworkSocket::Send(const uint8_t* bytes, size_t n, uint32_t* error) {
  const int put = send(state_->socket, reinterpret_cast<const char*>(bytes),
                       static_cast<int>(std::min<size_t>(n, 1 << 20)), 0);
  if (put >= 0) return put;
  const int failure = WSAGetLastError();
  if (failure == WSAEWOULDBLOCK) return 0;
  *error = static_cast<uint32_t>(failure);
  return -1;
}

SocketReady NetworkSocket::Wait(uint32_t interest, const WakeEvent* first,
                                const WakeEvent* second,
                                int32_t timeoutMs) const {
  State& s = *state_;
  const HANDLE wakes[2] = {first ? AsHandle(first->Handle()) : nullptr,
                           second ? AsHandle(second->Handle()) : nullptr};
  // A waiter is rung through its first wake event when another takes the
  // socket's event, so every caller gives one.
  const HANDLE self = wakes[0];
  SocketReady result;
  const auto finish = [&] {
    for (int i = 0; i < 2; ++i) {
      result.signalled[i] = wakes[i] != nullptr && IsSignalled(wakes[i]);
    }
    return result;
  };
  const auto ready = [&] {
    return result.readable || result.writable || result.hangup;
  };
  HANDLE handles[3];
  DWORD count = 0;
  for (HANDLE wake : wakes) {
    if (wake != nullptr) handles[count++] = wake;
  }
  if (interest != 0) {
    std::lock_guard<std::mutex> lock(s.mutex);
    result = s.Poll(interest);
    if (ready()) return finish();
    handles[count++] = s.event;
    if (self != nullptr) s.waiters.push_back(self);
  }
  const DWORD waited = WaitForMultipleObjects(
      count, handles, FALSE,
      timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (waited == WAIT_FAILED) result.error = GetLastError();
  if (interest == 0) return finish();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = std::find(s.waiters.begin(), s.waiters.end(), self);
  if (self != nullptr && it != s.waiters.end()) s.waiters.erase(it);
  if (IsSignalled(s.event)) s.TakeEvents(self);
  const uint32_t failure = result.error;
  result = s.Poll(interest);
  if (result.error == 0) result.error = failure;
  result.timedOut = waited == WAIT_TIMEOUT;
  return finish();
}

}  // namespace q7k
