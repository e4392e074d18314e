#include "sample_image.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace q7k::tool {
namespace {

constexpr uint32_t kOrigin = 0x1000;       // first load address, in words
constexpr uint32_t kIdentityOffset = 192;  // words above the first record
constexpr size_t kRecordBytes = 32;        // 8 words a record

// One record: "%", length, type, checksum, address width 8, address, data.
// The checksum is the sum of every other digit's value, modulo 256.
std::string Record(char type, uint32_t address,
                   const std::vector<uint8_t>& data) {
  char length[4];
  std::snprintf(length, sizeof length, "%02X", unsigned(14 + 2 * data.size()));
  const std::string head = std::string(length) + type;
  std::string tail = "8";
  char digits[12];
  std::snprintf(digits, sizeof digits, "%08X", address);
  tail += digits;
  for (uint8_t b : data) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    tail += digits;
  }
  unsigned sum = 0;
  for (char c : head + tail) sum += c <= '9' ? c - '0' : c - 'A' + 10;
  char check[4];
  std::snprintf(check, sizeof check, "%02X", sum & 0xFF);
  return "%" + head + check + tail + "\r\n";
}

}  // namespace

bool WriteSampleFirmware(const std::string& path, const SampleImage& image) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  // Name (the firmware's is "Q7I" and five blanks), date, time, version.
  std::string identity = "Q7I     " + image.date + image.time + image.version;
  identity.resize(kRecordBytes, '\0');
  uint32_t seed = 0x51A7;
  bool ok = true;
  // The identity record must exist whatever count was asked for.
  const int records =
      std::max(image.records, int(kIdentityOffset / (kRecordBytes / 4) + 1));
  for (int i = 0; i < records && ok; ++i) {
    const uint32_t address = kOrigin + uint32_t(i) * kRecordBytes / 4;
    std::vector<uint8_t> data(kRecordBytes);
    if (address == kOrigin + kIdentityOffset) {
      data.assign(identity.begin(), identity.end());
    } else {
      for (uint8_t& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
      }
    }
    ok = std::fputs(Record('6', address, data).c_str(), f) >= 0;
  }
  ok = ok && std::fputs(Record('8', 0, {}).c_str(), f) >= 0;
  return std::fclose(f) == 0 && ok;
}

}  // namespace q7k::tool
