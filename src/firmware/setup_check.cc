#include "firmware/setup_check.h"

#include <cstring>

#include "firmware/app_download.h"
#include "firmware/app_image_file.h"
#include "firmware/app_version.h"
#include "firmware/flash_commands.h"

namespace q7k {
namespace {

constexpr char kBootLoaderName[] = "POSTLOAD";

enum Comparison { kCannotRead = -1, kSame = 0, kLoader, kOther, kOtherBuild };
enum Action { kFail = -1, kNothing = 0, kFromFlash = 1, kDownload = 4 };

bool SameField(const char* a, const char* b) {
  return std::strncmp(a, b, kAppFieldWire) == 0;
}

bool SameAppStamp(const AppInfo& a, const AppInfo& b) {
  return SameField(a.Date, b.Date) && SameField(a.Time, b.Time) &&
         SameField(a.Version, b.Version);
}

Comparison CompareRunningApp(SetupHost& host, const AppInfo& disk) {
  AppInfo running;
  running.Clear();
  if (!host.QueryRunningApp(&running)) return kCannotRead;
  if (SameField(running.Name, disk.Name)) {
    return SameAppStamp(running, disk) ? kSame : kOtherBuild;
  }
  return SameField(running.Name, kBootLoaderName) ? kLoader : kOther;
}

Action ChooseAppAction(SetupHost& host, const AppInfo& disk, int16_t* entry) {
  Comparison cmp = CompareRunningApp(host, disk);
  if (cmp == kCannotRead) return kFail;
  if (cmp == kSame) {
    if (!host.TakeRebootRequest()) return kNothing;
    cmp = kOther;
  }
  if ((cmp == kOther || cmp == kOtherBuild) && !host.RestartBootLoader()) {
    return kFail;
  }
  if (cmp == kLoader || cmp == kOther) {
    if (!host.FindFlashApp(disk, entry)) return kFail;
    return *entry != 0 ? kFromFlash : kDownload;
  }
  return kDownload;  // another build of it: the flash is not searched
}

// Announces the download; a firmware announcement refused for a full flash
// deletes entry 0 to make room and tries once more.
bool PrepareAppParams(SetupHost& host, const AppInfo& disk,
                      const std::string& name, const std::string& fileName) {
  const bool firmware = IsFirmwareName(name);
  AppParams& params = *host.appParams();
  params.Clear();
  params.Describe(disk);
  params.ImageLength = AppImageLength(fileName);
  ErrorReporter& errors = host.channel().errors();
  if (params.ImageLength == kAppFileUnreadable) {
    errors.RecordAppFileError(kAppFileUnreadable, firmware);
    return false;
  }
  if (SendAppParams(host.channel(), params)) return true;
  if (firmware && errors.code() == kInstrumentFlashFull &&
      DeleteApp(host.channel(), 0) && SendAppParams(host.channel(), params)) {
    return true;
  }
  errors.RecordAppFileError(kAppDownloadFailed, firmware);
  return false;
}

bool Download(SetupHost& host, const AppInfo& disk, const std::string& name,
              int16_t timeoutSec, int16_t* entry) {
  const std::string fileName = name + ".X0";
  *entry = 0;
  return PrepareAppParams(host, disk, name, fileName) &&
         DownloadApp(host.channel(), fileName, host.progress()) &&
         DownloadComplete(host.channel(), timeoutSec, host.progress()) &&
         host.FindFlashApp(disk, entry);
}

}  // namespace

bool EnsureApplication(SetupHost& host, const std::string& name,
                       int16_t timeoutSec) {
  const bool firmware = IsFirmwareName(name);
  AppInfo disk;
  const int32_t error = ReadAppFileHeader(name, &disk);
  ErrorReporter& errors = host.channel().errors();
  if (error != kAppFileOk) {
    errors.RecordAppFileError(error, firmware);
    return false;
  }
  // The file about to be installed is judged, not whatever record the
  // client looked at last.
  if (!IsAppVersionValid(disk)) {
    errors.RecordAppFileError(kAppNeedsUpdate, true);
    return false;
  }
  if (!host.OpenPort()) {
    host.ClosePort();
    return false;
  }
  int16_t entry = 0;
  const Action action = ChooseAppAction(host, disk, &entry);
  bool ok = action != kFail;
  if (ok && action != kNothing) {
    if (action == kDownload) {
      ok = Download(host, disk, name, timeoutSec, &entry);
    }
    if (ok && entry == 0) {
      errors.RecordAppFileError(kAppFlashCorrupt, firmware);
      ok = false;
    }
    if (ok) {
      ok = ExecuteApp(host.channel(), entry);
      host.Wait(kAfterExecuteMs);
    }
  }
  host.ClosePort();
  return ok;
}

}  // namespace q7k
