#include "firmware/app_image_file.h"

#include <sys/stat.h>

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

// Offset of the last-but-one record mark, or -1. Scans backwards in chunks
// so a large image is never held whole.
long SecondLastMark(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file);
  int seen = 0;
  char chunk[4096];
  while (end > 0) {
    const long start = end > long{sizeof chunk} ? end - long{sizeof chunk} : 0;
    const auto n = static_cast<size_t>(end - start);
    if (std::fseek(file, start, SEEK_SET) != 0 ||
        std::fread(chunk, 1, n, file) != n) {
      return -1;
    }
    for (size_t i = n; i-- > 0;) {
      if (chunk[i] == '%' && ++seen == 2) return start + static_cast<long>(i);
    }
    end = start;
  }
  return -1;
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

std::FILE* OpenImageFile(const std::string& path, const char* mode) {
  std::FILE* file = std::fopen(path.c_str(), mode);
  struct stat info;
  if (file != nullptr &&
      (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode))) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool IsFirmwareName(const std::string& name) { return name == kFirmwareName; }

int32_t ReadAppFileHeader(const std::string& name, AppInfo* out) {
  out->Clear();
  const bool firmware = IsFirmwareName(name);
  File file(OpenImageFile(name + ".X0", "rb"));
  if (!file) {
    return kAppFileUnreadable;
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
      return kAppFileCorrupt;
    }
  }
  if (firmware && std::memcmp(out->Name, kFirmwareHeaderName, 8) != 0) {
    return kAppFileCorrupt;
  }
  return kAppFileOk;
}

int32_t AppImageLength(const std::string& path) {
  File file(OpenImageFile(path, "rb"));
  if (!file) return kAppFileUnreadable;
  char line[kImageLineBuffer];
  if (std::fgets(line, sizeof line, file.get()) == nullptr) {
    return kAppFileUnreadable;
  }
  const uint32_t first = LineAddress(line);
  const long mark = SecondLastMark(file.get());
  if (mark < 0 || std::fseek(file.get(), mark, SEEK_SET) != 0 ||
      std::fgets(line, sizeof line, file.get()) == nullptr) {
    return kAppFileUnreadable;
  }
  const size_t length = std::strlen(line);
  const auto recordLength = static_cast<int32_t>(
      HexField(std::string_view(line + 1, std::min<size_t>(2, length - 1))));
  const uint32_t last = LineAddress(line);
  // Unsigned so that addresses far apart wrap instead of overflowing.
  return static_cast<int32_t>(static_cast<uint32_t>((recordLength - 14) / 8) +
                              last - first);
}

}  // namespace q7k
