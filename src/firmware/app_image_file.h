// Application image files "<name>.X0": text files of hex records, one per
// line, of which these columns (0-based) are read:
//
//   0       '%' record mark
//   1-2     record length: characters after the '%' (14 + data digits)
//   3       record type        (not examined)
//   4-5     checksum           (not examined)
//   6       address width      (not examined)
//   7-14    load address, 8 hex digits, counting 32-bit words
//   15..    data, two upper-case hex digits per byte, high digit first
//
// The identity of the application sits in the record 192 words above the
// first record's address: Name, Date, Time and Version, 16 digits (8
// characters) each, from column 15.
//
// Thread safety: reads files of the current directory; call on the client's
// thread.
#ifndef Q7K_FIRMWARE_APP_IMAGE_FILE_H_
#define Q7K_FIRMWARE_APP_IMAGE_FILE_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "firmware/app_info.h"
#include "link/error_codes.h"

namespace q7k {

inline constexpr char kFirmwareName[] = "Q7I";

inline constexpr int32_t kHeaderOffsetWords = 192;
inline constexpr size_t kImageLineBuffer = 84;  // at most 83 characters read

// A hex field as the image reader converts it: 0 for an empty field or one
// of more than 8 characters; otherwise digits weighed from the right, 4 bits
// a position, and a character that is no hex digit adds nothing but still
// takes its position.
uint32_t HexField(std::string_view field);

// One data digit as the image reader converts it: below 'A' its value from
// '0', any other its value from 'A' plus 10.
uint8_t ImageDigit(char c);

// Opens an image file for reading, or null. A directory counts as a file
// that cannot be opened: it opens here but can never be read, and an
// unreadable image must not pass for an empty one.
std::FILE* OpenImageFile(const std::string& path, const char* mode);

// True for the measurement firmware's name ("Q7I", case-sensitive), whose
// files follow the firmware rules and wording.
bool IsFirmwareName(const std::string& name);

// Reads the identity of application name from "<name>.X0" in the current
// directory into out (cleared first). The firmware must name itself
// "Q7I     ". Returns kAppFileOk, or the application-file error found:
// kAppFileUnreadable, the file cannot be opened; kAppFileCorrupt, an address
// above the header's is met first, or the firmware's header names something
// else. A file whose records never reach
// the header address gives an empty record and 0.
int32_t ReadAppFileHeader(const std::string& name, AppInfo* out);

// The image's length in 32-bit words, from the first record's address to
// the end of the last data record (the record before the final one), or
// kAppFileUnreadable when the file cannot be read or holds fewer than two
// record marks.
int32_t AppImageLength(const std::string& path);

}  // namespace q7k

#endif  // Q7K_FIRMWARE_APP_IMAGE_FILE_H_
