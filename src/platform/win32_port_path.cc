#include <string>

#include "platform/port_names.h"

namespace q7k {

std::string DefaultSerialPortPath(int32_t port) {
  // Only COM1 to COM9 are known by their bare name everywhere; the device
  // namespace reaches every port.
  const std::string name = "COM" + std::to_string(port);
  return port < 10 ? name : "\\\\.\\" + name;
}

}  // namespace q7k
