// Firmware image files for the download tests: records of 32 bytes from
// kImageOrigin, one of them the identity record, and a termination record;
// the identity the instrument then reports.
#ifndef Q7K_TESTS_SUPPORT_FIRMWARE_IMAGE_H_
#define Q7K_TESTS_SUPPORT_FIRMWARE_IMAGE_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "app_identity.h"
#include "support/wire.h"

namespace q7k {

constexpr uint32_t kImageOrigin = 0x1000;

// The identity the instrument reports for the application of that version.
inline emu::AppIdentity Firmware(const std::string& version) {
  return emu::AppIdentity::Make("Q7I", "05/06/24", "10:11:12", version,
                                "Q7300 Instrument Measurement App");
}

// "%", length, type 6, checksum, width 8, address, data digits.
inline std::string RecordLine(uint32_t address, const Bytes& data) {
  char text[100];
  int n = std::snprintf(text, sizeof text, "%%%02X6008%08X",
                        static_cast<unsigned>(14 + 2 * data.size()), address);
  for (uint8_t b : data) n += std::snprintf(text + n, 3, "%02X", b);
  return std::string(text) + "\r\n";
}

// The identity record sits 192 words up; image gets the data as loaded.
inline std::string ImageFile(size_t records, const std::string& version,
                             Bytes* image) {
  std::string text;
  for (size_t i = 0; i < records; ++i) {
    Bytes data(32);
    for (size_t k = 0; k < data.size(); ++k) data[k] = uint8_t(i * 7 + k);
    if (i == 24) {
      const std::string id = "Q7I     05/06/2410:11:12" + version;
      data.assign(id.begin(), id.end());
    }
    image->insert(image->end(), data.begin(), data.end());
    text += RecordLine(kImageOrigin + 8 * uint32_t(i), data);
  }
  return text + "%0E800800000000\r\n";
}

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_FIRMWARE_IMAGE_H_
