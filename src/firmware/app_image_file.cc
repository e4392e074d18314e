#include "firmware/app_image_file.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

namespace q7k {
namespace {

constexpr char kFirmwareHeaderName[] = "Q7I     ";
constexpr size_t kAddressColumn = 7;
constexpr size_t kDataColumn = 15;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Columns 7-14 of a line, folded to upper case; shorter when the line is.
uint32_t LineAddress(const char* line) {
  const size_t length = std::strlen(line);
  if (length <= kAddressColumn) return 0;
  std::string field(line + kAddressColumn,
                    std::min<size_t>(8, length - kAddressColumn));
  for (char& c : field) c = static_cast<char>(std::toupper((unsigned char)c));
  return HexField(field);
}

// 8 characters from 16 digits at column; digits past the line's end read as
// zero, so the field ends there.
void UnpackHeaderField(const char* line, size_t column, char* slot) {
  const size_t length = std::strlen(line);
  for (size_t i = 0; i < 8; ++i) {
    const size_t at = column + 2 * i;
    if (at + 1 >= length) break;
    slot[i] = static_cast<char>((ImageDigit(line[at]) << 4) |
                                ImageDigit(line[at + 1]));
  }
}

}  // namespace

uint32_t HexField(std::string_view field) {
  if (field.empty() || field.size() > 8) return 0;
  uint32_t value = 0;
  uint32_t shift = 0;
  for (size_t i = field.size(); i-- > 0; shift += 4) {
    const int v = HexValue(field[i]);
    if (v >= 0) value |= static_cast<uint32_t>(v) << shift;
  }
  return value;
}

uint8_t ImageDigit(char c) {
  return static_cast<uint8_t>(c < 'A' ? c - '0' : c - 'A' + 10);
}

bool IsFirmwareName(const std::string& name) { return name == kFirmwareName; }

int32_t ReadAppFileHeader(const std::string& name, AppInfo* out) {
  out->Clear();
  const bool firmware = IsFirmwareName(name);
  File file(std::fopen((name + ".X0").c_str(), "r"));
  if (!file) {
    return -1;
  }
  char line[kImageLineBuffer];
  bool first = true;
  int32_t target = 0;
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    const auto address = static_cast<int32_t>(LineAddress(line));
    if (first) {
      target = static_cast<int32_t>(static_cast<uint32_t>(address) +
                                    kHeaderOffsetWords);
      first = false;
    }
    if (address == target) {
      UnpackHeaderField(line, kDataColumn, out->Name);
      UnpackHeaderField(line, kDataColumn + 16, out->Date);
      UnpackHeaderField(line, kDataColumn + 32, out->Time);
      UnpackHeaderField(line, kDataColumn + 48, out->Version);
      break;
    }
    if (address > target) {
      return -2;
    }
  }
  if (firmware && std::memcmp(out->Name, kFirmwareHeaderName, 8) != 0) {
    return -2;
  }
  return 0;
}

}  // namespace q7k
