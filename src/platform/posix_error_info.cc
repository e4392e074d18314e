// Per-thread error information: what a failing method publishes for the
// calling thread, taken (and cleared) by GetErrorInfo.
#include <optional>

#include "q7kcomm/com.h"

namespace q7k {
namespace {

thread_local std::optional<ErrorInfo> t_error_info;

}  // namespace

HRESULT GetErrorInfo(ErrorInfo* out) {
  if (out == nullptr) return E_POINTER;
  if (!t_error_info) return S_FALSE;
  *out = std::move(*t_error_info);
  t_error_info.reset();
  return S_OK;
}

void SetErrorInfo(const ErrorInfo& info) { t_error_info = info; }

void ClearErrorInfo() { t_error_info.reset(); }

}  // namespace q7k
