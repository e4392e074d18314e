// Per-thread error information: what a failing method publishes for the
// calling thread, taken (and cleared) by GetErrorInfo.
#include <optional>

#include "platform/thread_record.h"
#include "q7kcomm/com.h"

namespace q7k {
namespace {

using Record = std::optional<ErrorInfo>;

void* MakeRecord() { return new Record(); }
void ReleaseRecord(void* record) { delete static_cast<Record*>(record); }

Record& ThisThreadsRecord() {
  return *static_cast<Record*>(ThreadRecord(&MakeRecord, &ReleaseRecord));
}

}  // namespace

HRESULT GetErrorInfo(ErrorInfo* out) {
  if (out == nullptr) return E_POINTER;
  Record& info = ThisThreadsRecord();
  if (!info) return S_FALSE;
  *out = std::move(*info);
  info.reset();
  return S_OK;
}

void SetErrorInfo(const ErrorInfo& info) { ThisThreadsRecord() = info; }

void ClearErrorInfo() { ThisThreadsRecord().reset(); }

}  // namespace q7k
