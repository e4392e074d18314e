#include <string>

#include "platform/port_names.h"

namespace q7k {

std::string DefaultSerialPortPath(int32_t port) {
  return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace q7k
