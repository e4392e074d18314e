#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <tuple>

#include "serial_ports.h"

namespace q7k::tool {
namespace {

namespace fs = std::filesystem;

// Tests point these at a tree of their own.
std::string Root(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// A sysfs attribute's first line; empty when there is none.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() &&
         (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The kind of port a tty name stands for; empty for the ones not listed.
std::string KindOf(const std::string& name) {
  if (StartsWith(name, "ttyUSB")) return "usb";
  if (StartsWith(name, "ttyACM")) return "acm";
  if (StartsWith(name, "ttyS")) return "uart";
  return {};
}

// The serial core registers a fixed number of ttyS ports whether or not
// there is a UART behind them; those placeholders have no type.
bool IsRealPort(const fs::path& tty, const std::string& kind) {
  std::error_code ec;
  if (!fs::exists(tty / "device", ec)) return false;
  return kind != "uart" || Attribute(tty / "type") != "0";
}

// Newer kernels put the serial core's own port and controller devices
// between the tty and the UART; their drivers say nothing about the UART.
std::string DriverOf(const fs::path& device) {
  std::error_code ec;
  fs::path dir = fs::canonical(device, ec);
  const auto linkName = [](const fs::path& link) {
    std::error_code e;
    return fs::read_symlink(link, e).filename().string();
  };
  while (dir.has_relative_path() &&
         linkName(dir / "subsystem") == "serial-base") {
    dir = dir.parent_path();
  }
  return linkName(dir / "driver");
}

// The USB device is the nearest ancestor of the port's device that carries
// the vendor id; interfaces and usb-serial ports sit below it.
bool FindUsbIdentity(const fs::path& device, const fs::path& sysfs,
                     UsbIdentity* id) {
  std::error_code ec;
  fs::path dir = fs::canonical(device, ec);
  const fs::path top = fs::canonical(sysfs, ec);
  if (ec) return false;
  for (; dir.has_relative_path() && dir != top; dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", ec)) continue;
    id->vendorId = Attribute(dir / "idVendor");
    id->productId = Attribute(dir / "idProduct");
    id->serial = Attribute(dir / "serial");
    id->manufacturer = Attribute(dir / "manufacturer");
    id->product = Attribute(dir / "product");
    return true;
  }
  return false;
}

// by-id links by the device they lead to.
std::multimap<std::string, std::string> StableNames(const std::string& dev) {
  std::multimap<std::string, std::string> names;
  const fs::path byId = fs::path(dev) / "serial" / "by-id";
  std::error_code ec;
  for (fs::directory_iterator it(byId, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code linkError;
    if (!it->is_symlink(linkError)) continue;
    const fs::path target = fs::canonical(it->path(), linkError);
    if (linkError) continue;
    names.emplace(target.string(), it->path().string());
  }
  return names;
}

// ttyS2 before ttyS10.
std::tuple<std::string, long, std::string> SortKey(const std::string& name) {
  size_t digits = name.size();
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
    --digits;
  }
  const std::string number = name.substr(digits);
  return {name.substr(0, digits),
          number.empty() ? -1 : std::strtol(number.c_str(), nullptr, 10), name};
}

}  // namespace

bool ListSerialPorts(std::vector<SerialPort>* ports, std::string* error) {
  const std::string sysfs = Root("Q7K_SYSFS_ROOT", "/sys");
  const std::string dev = Root("Q7K_DEV_ROOT", "/dev");
  const fs::path classTty = fs::path(sysfs) / "class" / "tty";
  std::error_code ec;
  fs::directory_iterator it(classTty, ec);
  if (ec) {
    *error = "cannot read " + classTty.string() + ": " + ec.message();
    return false;
  }
  const auto stable = StableNames(dev);
  ports->clear();
  for (fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    SerialPort port;
    port.name = it->path().filename().string();
    port.kind = KindOf(port.name);
    if (port.kind.empty() || !IsRealPort(it->path(), port.kind)) continue;
    port.path = dev + "/" + port.name;
    std::error_code pathError;
    if (!fs::exists(port.path, pathError)) continue;  // nothing to open
    port.driver = DriverOf(it->path() / "device");
    port.usb = FindUsbIdentity(it->path() / "device", sysfs, &port.identity);
    const auto [first, last] =
        stable.equal_range(fs::canonical(port.path, pathError).string());
    for (auto s = first; s != last; ++s) port.aliases.push_back(s->second);
    std::sort(port.aliases.begin(), port.aliases.end());
    ports->push_back(std::move(port));
  }
  std::sort(ports->begin(), ports->end(),
            [](const SerialPort& a, const SerialPort& b) {
              return SortKey(a.name) < SortKey(b.name);
            });
  return true;
}

}  // namespace q7k::tool
