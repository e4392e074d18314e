#include "platform/port_names.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

#include "q7kcomm/host.h"

namespace q7k {
namespace {

std::mutex& TableMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<int32_t, std::string>& Table() {
  static std::map<int32_t, std::string> table;
  return table;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

void SetSerialPortPath(int32_t port, const std::string& path) {
  std::lock_guard<std::mutex> lock(TableMutex());
  if (path.empty()) {
    Table().erase(port);
  } else {
    Table()[port] = path;
  }
}

std::string ResolveSerialPortPath(int32_t port) {
  if (port < 1) return std::string();
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(port);
    if (it != Table().end()) return it->second;
  }
  const std::string variable = "Q7K_COM" + std::to_string(port);
  const char* fromEnvironment = std::getenv(variable.c_str());
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  return DefaultSerialPortPath(port);
}

std::optional<int32_t> PortNumberFromName(std::string_view name) {
  constexpr std::string_view kDeviceNamespace = "\\\\.\\";
  if (name.substr(0, kDeviceNamespace.size()) == kDeviceNamespace) {
    name.remove_prefix(kDeviceNamespace.size());
  }
  if (!StartsWithNoCase(name, "COM")) return std::nullopt;
  name.remove_prefix(3);
  bool negative = false;
  if (!name.empty() && name.front() == '-') {
    negative = true;
    name.remove_prefix(1);
  }
  // Ten digits at most keeps the value inside 32 bits' worth of checking.
  if (name.empty() || name.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string DevicePathForName(std::string_view name) {
  const std::optional<int32_t> port = PortNumberFromName(name);
  if (port) return ResolveSerialPortPath(*port);
  return std::string(name);
}

}  // namespace q7k
