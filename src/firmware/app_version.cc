#include "firmware/app_version.h"

#include <cstring>
#include <string>

namespace q7k {

double AppVersionNumber(std::string_view version) {
  std::string text(version);
  const size_t dot = text.find('.');
  if (dot == std::string::npos) return 0.0;
  text[dot] = '0';
  // By hand rather than strtod: a host locale with a decimal comma would
  // otherwise misjudge every version.
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  double sign = 1.0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') sign = -1.0;
    ++i;
  }
  double value = 0.0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10.0 + (text[i] - '0');
  }
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      value += (text[i] - '0') * scale;
      scale /= 10.0;
    }
  }
  return sign * value;
}

bool IsAppVersionValid(const AppInfo& app) {
  if (std::memcmp(app.Name, "Q7I     ", 8) != 0) return true;
  const std::string version(app.Version, strnlen(app.Version, 8));
  // The digits are summed by hand, so allow for the last bit of rounding.
  return AppVersionNumber(version) >= kOldestFirmwareVersion - 1e-9;
}

}  // namespace q7k
