// The application and flash methods of IQ7kComm: image files, the flash
// directory and the download commands. Each forwards to the firmware
// subsystem with the call's channel and turns a failure into the tail.
#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "firmware/app_download.h"
#include "firmware/app_image_file.h"
#include "firmware/app_version.h"
#include "firmware/flash_commands.h"
#include "platform/bstr_text.h"
#include "platform/codepage.h"

namespace q7k {
namespace {

std::string Ansi(BSTR text) { return WideToAnsi(BstrText(text)); }

// The first 8 characters of text into a cleared slot.
void CopyField(BSTR text, char* slot) {
  const std::string ansi = Ansi(text).substr(0, kAppFieldWire);
  std::memcpy(slot, ansi.data(), ansi.size());
}

}  // namespace

ProgressTarget Q7kCommObject::progress() {
  return ProgressTarget{&progress_, parentHwnd_, [this](int32_t id) {
                          return errorState_->LoadText(id);
                        }};
}

bool Q7kCommObject::FindApp(const AppInfo& app, int16_t* entry) {
  if (simulating()) return sim_.FindFlashApp(entry);
  return FindFlashApp(channel(), app, entry);
}

HRESULT Q7kCommObject::ReadDiskAppInfo(BSTR bstrAppName) {
  const auto lock = Serialize();
  const std::string name = Ansi(bstrAppName);
  const int32_t error = ReadAppFileHeader(name, &currentApp_);
  if (error == kAppFileOk) return S_OK;
  errorState_->RecordAppFileError(error, IsFirmwareName(name));
  return ReportFailure();
}

HRESULT Q7kCommObject::IsAppVersionValid() {
  const auto lock = Serialize();
  if (q7k::IsAppVersionValid(currentApp_)) return S_OK;
  errorState_->RecordAppFileError(kAppNeedsUpdate, true);
  return ReportFailure();
}

HRESULT Q7kCommObject::FillAppParams(BSTR bstrFilename) {
  const auto lock = Serialize();
  const std::string name = Ansi(bstrFilename);
  const bool firmware = IsFirmwareName(name.substr(0, name.find('.')));
  int32_t error = kAppFileUnreadable;  // a name too long for the request
  if (name.size() <= kMaxAppFileName) {
    error = q7k::FillAppParams(name, &appParams_);
  }
  if (error == kAppFileOk) return S_OK;
  errorState_->RecordAppFileError(error, firmware);
  return E_FAIL;
}

HRESULT Q7kCommObject::RestartLoader() {
  const auto lock = Serialize();
  return q7k::RestartLoader(channel()) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::SendAppParams() {
  const auto lock = Serialize();
  return q7k::SendAppParams(channel(), appParams_) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::DownloadApp(BSTR bstrFilename) {
  const auto lock = Serialize();
  return q7k::DownloadApp(channel(), Ansi(bstrFilename), progress())
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::DownloadComplete(short nTimeoutSec) {
  const auto lock = Serialize();
  if (transactor() == nullptr) return E_FAIL;
  return q7k::DownloadComplete(channel(), nTimeoutSec, progress())
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::AbortDownload() {
  const auto lock = Serialize();
  return q7k::AbortDownload(channel()) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::SearchForApp(BSTR bstrName, BSTR bstrDate, BSTR bstrTime,
                                    BSTR bstrVersion, short* nAppEntry) {
  const auto lock = Serialize();
  if (nAppEntry == nullptr) return E_POINTER;
  AppInfo app;
  app.Clear();
  CopyField(bstrName, app.Name);
  CopyField(bstrDate, app.Date);
  CopyField(bstrTime, app.Time);
  CopyField(bstrVersion, app.Version);
  int16_t entry = 0;
  if (!FindApp(app, &entry)) return ReportFailure();
  *nAppEntry = entry;
  return S_OK;
}

HRESULT Q7kCommObject::ReadFlashDirectory() {
  const auto lock = Serialize();
  if (simulating()) return sim_.ReadFlashDirectory();
  return flashDirectory_.Read(channel()) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::ReadFlashDirInfo(short nAppEntry) {
  const auto lock = Serialize();
  if (const AppInfo* slot = flashDirectory_.slot(nAppEntry)) {
    currentApp_ = *slot;
  }
  return S_OK;
}

HRESULT Q7kCommObject::ExecuteApp(short nAppEntry) {
  const auto lock = Serialize();
  return q7k::ExecuteApp(channel(), nAppEntry) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::DeleteApp(short nAppEntry) {
  const auto lock = Serialize();
  if (transactor() == nullptr) return E_FAIL;
  return q7k::DeleteApp(channel(), nAppEntry) ? S_OK : ReportFailure();
}

}  // namespace q7k
