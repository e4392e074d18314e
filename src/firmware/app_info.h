// AppInfo: the description of one instrument application (a disk image's
// header, the running application, or a flash directory entry).
//
// Each field is 8-bit text in the host code page in a slot one or two bytes
// wider than its content, so it always ends in a zero byte. The wire form
// packs the fields without slots:
//
//   offset 0   8 bytes  Name      (the firmware's is "Q7I" and five blanks)
//   offset 8   8 bytes  Date
//   offset 16  8 bytes  Time
//   offset 24  8 bytes  Version   (e.g. "01.20.02")
//   offset 32  32 bytes Description (where present)
//
// Thread safety: plain data.
#ifndef Q7K_FIRMWARE_APP_INFO_H_
#define Q7K_FIRMWARE_APP_INFO_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace q7k {

inline constexpr size_t kAppFieldWire = 8;
inline constexpr size_t kAppDescriptionWire = 32;
inline constexpr size_t kAppInfoWire = 64;

struct AppInfo {
  char Name[10];
  char Date[10];
  char Time[10];
  char Version[10];
  char Description[34];

  void Clear() { std::memset(this, 0, sizeof *this); }
};
static_assert(sizeof(AppInfo) == 74, "AppInfo is 74 bytes");

// Clears app and copies the packed wire form (64 bytes with the description,
// 32 without) into its slots, each field stopping at a zero byte.
// REQUIRES: wire holds withDescription ? 64 : 32 bytes.
void UnpackAppInfo(const uint8_t* wire, bool withDescription, AppInfo* app);

// The text of a slot up to its first zero byte.
std::string SlotText(const char* slot, size_t width);

}  // namespace q7k

#endif  // Q7K_FIRMWARE_APP_INFO_H_
