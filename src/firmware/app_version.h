// Version rules of the measurement firmware: a version text such as
// "01.20.02" reads as the number 1020.02 (the first '.' becomes a '0'), and
// the firmware must be 01.20.02 or later.
//
// Thread safety: pure functions.
#ifndef Q7K_FIRMWARE_APP_VERSION_H_
#define Q7K_FIRMWARE_APP_VERSION_H_

#include <string_view>

#include "firmware/app_info.h"

namespace q7k {

inline constexpr double kOldestFirmwareVersion = 1020.02;

// The version text as a number: 0.0 for an empty text or one without '.'.
// Reads the leading decimal number whatever the process's locale.
double AppVersionNumber(std::string_view version);

// True unless app is the firmware ("Q7I     ") in a version older than
// 01.20.02; an empty record is valid.
bool IsAppVersionValid(const AppInfo& app);

}  // namespace q7k

#endif  // Q7K_FIRMWARE_APP_VERSION_H_
