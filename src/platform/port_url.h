// Network port names: "rfc2217://HOST:PORT" (Telnet with COM-port control)
// and "socket://HOST:PORT" (raw TCP). HOST is a name, an IPv4 address or an
// IPv6 address in brackets. Anything else is a local device path.
#ifndef Q7K_PLATFORM_PORT_URL_H_
#define Q7K_PLATFORM_PORT_URL_H_

#include <optional>
#include <string>
#include <string_view>

namespace q7k {

struct PortUrl {
  bool comPortControl = false;  // rfc2217:// rather than socket://
  std::string host;             // without brackets
  std::string service;          // the port number as written
};

// True when path names a network port by its scheme (whether or not the
// rest is well formed), so it is never opened as a file.
bool IsNetworkPortPath(std::string_view path);
// The parts of a network port name; nullopt when it is not one or is
// malformed (no host, no port, a port outside 1..65535, an unclosed
// bracket). A query ("?...") after the port is ignored.
std::optional<PortUrl> ParsePortUrl(std::string_view path);

}  // namespace q7k

#endif  // Q7K_PLATFORM_PORT_URL_H_
