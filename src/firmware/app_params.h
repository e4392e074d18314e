// AppParams: the announcement of a download (payload of command 10), 20
// bytes:
//
//   offset 0   8 bytes  Name      (NUL-padded)
//   offset 8   8 bytes  Version   (NUL-padded)
//   offset 16  I4       ImageLength in 32-bit words, -1 when unknown
//
// Thread safety: plain data.
#ifndef Q7K_FIRMWARE_APP_PARAMS_H_
#define Q7K_FIRMWARE_APP_PARAMS_H_

#include <cstdint>
#include <cstring>
#include <string>

#include "firmware/app_info.h"
#include "link/le_bytes.h"

namespace q7k {

// File names travel in a 16-byte field of the request that names them.
inline constexpr size_t kMaxAppFileName = 15;

struct AppParams {
  char Name[8];
  char Version[8];
  int32_t ImageLength;

  void Clear() { std::memset(this, 0, sizeof *this); }
  // Name and Version from app's header fields.
  void Describe(const AppInfo& app);
  PayloadWriter Payload() const;
};

// Fills out from the image file fileName (a plain name in the current
// directory): Name and Version from the header of "<base>.X0", base being
// the name up to its first '.', and ImageLength from fileName itself (its
// failure value included). Returns kAppFileOk, or the header's
// application-file error, out then untouched.
int32_t FillAppParams(const std::string& fileName, AppParams* out);

}  // namespace q7k

#endif  // Q7K_FIRMWARE_APP_PARAMS_H_
