// The commands that manage the instrument's flash, with their payloads
// (little-endian):
//
//   8   restart the boot loader   none
//   10  announce a download       AppParams (20 bytes)
//   12  program the flash         none; reply time-out nTimeoutSec, >= 20 s
//   13  abandon a download        none
//   14  search                    Name, Date, Time, Version, 8 bytes each;
//                                 reply: entry number (I2), 0 = not held
//   16  execute                   entry number (I2)
//   17  delete                    entry number (I2); reply time-out 20 s
//
// Entry numbers are the instrument's, from 1, passed on unchecked. Each
// returns false when there is no link or the exchange failed (recorded in
// the channel's error record). The raised reply time-outs go back to
// 4000 ms whatever the outcome.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_FIRMWARE_FLASH_COMMANDS_H_
#define Q7K_FIRMWARE_FLASH_COMMANDS_H_

#include <cstdint>

#include "firmware/app_info.h"
#include "firmware/app_params.h"
#include "firmware/progress_target.h"
#include "link/command_channel.h"

namespace q7k {

inline constexpr int32_t kDeleteTimeoutMs = 20000;
inline constexpr int32_t kMinProgramTimeoutMs = 20000;

bool RestartLoader(const CommandChannel& channel);
bool SendAppParams(const CommandChannel& channel, const AppParams& params);
bool AbortDownload(const CommandChannel& channel);
bool ExecuteApp(const CommandChannel& channel, int16_t entry);
bool DeleteApp(const CommandChannel& channel, int16_t entry);

// Has the loader program the downloaded image, showing "Programming ..."
// meanwhile. A failed exchange records application-file error -4 on top of
// what the exchange recorded; without a link nothing is recorded.
bool DownloadComplete(const CommandChannel& channel, int16_t timeoutSec,
                      const ProgressTarget& progress);

// The entry number holding app (first 8 bytes of Name, Date, Time and
// Version) into *entry, 0 when the instrument holds none. entry is
// untouched on failure.
bool FindFlashApp(const CommandChannel& channel, const AppInfo& app,
                  int16_t* entry);

}  // namespace q7k

#endif  // Q7K_FIRMWARE_FLASH_COMMANDS_H_
