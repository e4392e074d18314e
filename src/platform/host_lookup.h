// LookUpHost: a network port's host name to addresses, bounded by the
// open's deadline. The system's lookup may block for as long as its name
// servers take, so a name (not an address) is looked up on a thread of its
// own that the open stops waiting for when the time is up.
#ifndef Q7K_PLATFORM_HOST_LOOKUP_H_
#define Q7K_PLATFORM_HOST_LOOKUP_H_

#include <cstdint>
#include <memory>

#include "platform/port_url.h"

struct addrinfo;

namespace q7k {

// The addresses of a host, freed with the last holder: the lookup's own
// thread when the open stopped waiting for it.
struct HostAddresses {
  const PortUrl url;
  struct addrinfo* list = nullptr;
  int result = -1;  // the system lookup's, 0 when it found the host
  explicit HostAddresses(const PortUrl& u) : url(u) {}
  ~HostAddresses();
};

// Null when the host is not found or its lookup did not finish by
// deadlineMs (on CurrentClock; waited in real time).
std::shared_ptr<const HostAddresses> LookUpHost(const PortUrl& url,
                                                int64_t deadlineMs);

// Keeps this library loaded until the process ends, so that a lookup
// thread that outlives its open never returns into unloaded code.
void KeepLibraryLoaded();

// The platform's system lookup for stream sockets into *addresses, of
// numeric hosts only or of any (posix_/win32_network_socket.cc).
void SystemLookUp(bool numericOnly, HostAddresses* addresses);

}  // namespace q7k

#endif  // Q7K_PLATFORM_HOST_LOOKUP_H_
