#include "platform/win32_module_path.h"

namespace q7k {

HMODULE ThisModule() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ThisModule), &self)) {
    return nullptr;
  }
  return self;
}

std::wstring ModulePath() {
  HMODULE self = ThisModule();
  if (self == nullptr) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

}  // namespace q7k
