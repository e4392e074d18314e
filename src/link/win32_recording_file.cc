// Names go through UTF-16 and the system's calls: the C runtime's narrow
// calls and std::filesystem's narrow paths would read the bytes in another
// code page than the host's (a name outside the ANSI code page could not
// be opened at all, and a byte that is no UTF-8 makes std::filesystem
// throw).
#include <windows.h>

#include <cstring>
#include <string>

#include "link/recording_file.h"
#include "platform/codepage.h"

namespace q7k {
namespace {

std::wstring Wide(const std::string& text) {
  const std::u16string wide = AnsiToWide(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const std::wstring& text) {
  return WideToAnsi(std::u16string(text.begin(), text.end()));
}

}  // namespace

std::string RecordingPathFromEnvironment() {
  const DWORD size = GetEnvironmentVariableW(L"Q7K_RECORD", nullptr, 0);
  if (size == 0) return "";
  std::wstring value(size, L'\0');
  const DWORD n = GetEnvironmentVariableW(L"Q7K_RECORD", value.data(), size);
  if (n == 0 || n >= size) return "";
  value.resize(n);
  return Narrow(value);
}

std::string AbsoluteRecordingName(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return path;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD n = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return path;
  full.resize(n);
  return Narrow(full);
}

std::string RecordingNameKey(const std::string& absoluteName) {
  std::wstring key = Wide(absoluteName);
  for (wchar_t& c : key) {
    if (c == L'/') c = L'\\';
  }
  // Windows names a file whatever the case of its letters; the invariant
  // mapping, not the user's locale's.
  std::wstring upper(key.size(), L'\0');
  if (!key.empty()) {
    const int n = static_cast<int>(key.size());
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.data(), n,
                  upper.data(), n, nullptr, nullptr, 0);
  }
  const std::u16string units(upper.begin(), upper.end());
  return std::string(reinterpret_cast<const char*>(units.data()),
                     units.size() * sizeof(char16_t));
}

bool IsRecordingNameSeparator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

std::FILE* OpenRecordingFile(const std::string& name, const char* mode) {
  const std::wstring wide = Wide(name);
  const std::wstring wideMode(mode, mode + std::strlen(mode));
  if (wide.empty()) return nullptr;
  return _wfopen(wide.c_str(), wideMode.c_str());
}

}  // namespace q7k
