#include "platform/port_url.h"

#include <cctype>

namespace q7k {
namespace {

constexpr std::string_view kRfc2217 = "rfc2217://";
constexpr std::string_view kSocket = "socket://";

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) {
      return false;
    }
  }
  return true;
}

bool ValidService(std::string_view s) {
  if (s.empty() || s.size() > 5) return false;
  unsigned value = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

}  // namespace

bool IsNetworkPortPath(std::string_view path) {
  return StartsWithNoCase(path, kRfc2217) || StartsWithNoCase(path, kSocket);
}

std::optional<PortUrl> ParsePortUrl(std::string_view path) {
  PortUrl url;
  std::string_view rest;
  if (StartsWithNoCase(path, kRfc2217)) {
    url.comPortControl = true;
    rest = path.substr(kRfc2217.size());
  } else if (StartsWithNoCase(path, kSocket)) {
    rest = path.substr(kSocket.size());
  } else {
    return std::nullopt;
  }
  rest = rest.substr(0, rest.find('?'));
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  std::string_view host;
  std::string_view service;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() ||
        rest[close + 1] != ':') {
      return std::nullopt;
    }
    host = rest.substr(1, close - 1);
    service = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    host = rest.substr(0, colon);
    service = rest.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) return std::nullopt;
  }
  if (host.empty() || !ValidService(service)) return std::nullopt;
  url.host = std::string(host);
  url.service = std::string(service);
  return url;
}

}  // namespace q7k
