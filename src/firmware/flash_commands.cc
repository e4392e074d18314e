#include "firmware/flash_commands.h"

#include <algorithm>
#include <cstring>

#include "link/command_codes.h"
#include "link/le_bytes.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

PayloadWriter Entry(int16_t entry) {
  PayloadWriter w;
  w.U16(static_cast<uint16_t>(entry));
  return w;
}

}  // namespace

bool RestartLoader(const CommandChannel& channel) {
  return channel.Exchange(cmd::kRestartLoader);
}

bool SendAppParams(const CommandChannel& channel, const AppParams& params) {
  const PayloadWriter w = params.Payload();
  return channel.Exchange(cmd::kAppParams, w.data(), w.size());
}

bool AbortDownload(const CommandChannel& channel) {
  return channel.Exchange(cmd::kAbortDownload);
}

bool ExecuteApp(const CommandChannel& channel, int16_t entry) {
  const PayloadWriter w = Entry(entry);
  return channel.Exchange(cmd::kExecuteApp, w.data(), w.size());
}

bool DeleteApp(const CommandChannel& channel, int16_t entry) {
  if (channel.link() == nullptr) return false;
  ScopedReplyTimeout timeout(channel.link(), kDeleteTimeoutMs);
  const PayloadWriter w = Entry(entry);
  return channel.Exchange(cmd::kDeleteApp, w.data(), w.size());
}

bool DownloadComplete(const CommandChannel& channel, int16_t timeoutSec,
                      const ProgressTarget& progress) {
  if (channel.link() == nullptr) return false;
  bool ok;
  {
    ScopedReplyTimeout timeout(
        channel.link(),
        std::max(int32_t{timeoutSec} * 1000, kMinProgramTimeoutMs));
    progress.Open(ids::kProgramming);
    ok = channel.Exchange(cmd::kDownloadComplete);
  }
  progress.Close();
  if (!ok) channel.errors().RecordAppFileError(kAppNotInFlash, false);
  return ok;
}

bool FindFlashApp(const CommandChannel& channel, const AppInfo& app,
                  int16_t* entry) {
  // A fixed array rather than a growing vector: g++ 12 at -O3 misjudges
  // the vector's growth here and warns.
  uint8_t payload[4 * kAppFieldWire];
  size_t at = 0;
  for (const char* field : {app.Name, app.Date, app.Time, app.Version}) {
    std::memcpy(payload + at, field, kAppFieldWire);
    at += kAppFieldWire;
  }
  return channel.Exchange(cmd::kSearchApp, payload, sizeof payload, 2,
                          [entry](const uint8_t* p, size_t) {
                            *entry = LoadI16(p);
                            return true;
                          });
}

}  // namespace q7k
