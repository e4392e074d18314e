// Mapping of the component's built serial port names ("COM3", "\\.\COM12")
// to device paths. The public half (SetSerialPortPath, ResolveSerialPortPath)
// is declared in q7kcomm/host.h.
//
// Thread safety: safe from any thread; the table set from code is guarded by
// a lock, the environment is read with getenv (do not change it while a port
// is being created).
#ifndef Q7K_PLATFORM_PORT_NAMES_H_
#define Q7K_PLATFORM_PORT_NAMES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace q7k {

// The port number in a built name: "COM<n>" or "\\.\COM<n>" (COM in any
// case, n a decimal number, optionally negative). nullopt for anything else.
std::optional<int32_t> PortNumberFromName(std::string_view name);

// The device path to open for a port name: for a built name the path that
// ResolveSerialPortPath gives for its number (empty for numbers below 1);
// any other name is taken as a path as it stands.
std::string DevicePathForName(std::string_view name);

// The device port n (n >= 1) opens when neither the host nor the environment
// names one: /dev/ttyS<n-1> on POSIX, the port's own name on Windows.
std::string DefaultSerialPortPath(int32_t port);

}  // namespace q7k

#endif  // Q7K_PLATFORM_PORT_NAMES_H_
