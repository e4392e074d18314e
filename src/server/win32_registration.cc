// Self-registration (regsvr32, the installer): the class under its CLSID,
// its two ProgIDs and the type library embedded in this DLL. Unregistration
// removes exactly what registration writes. On 64-bit Windows the x64 and
// x86 servers are registered side by side: each class key is in its own
// bitness's view of the registry, the ProgIDs, the type library's key and
// the interface's are one for both, and stay while the other is registered.
#include <olectl.h>

#include <string>
#include <vector>

#include "platform/win32_module_path.h"
#include "q7kcomm/com.h"
#include "resources/version.h"

namespace q7k {
namespace {

constexpr wchar_t kDescription[] = L"Q7kComm Class";
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

std::wstring GuidText(const GUID& id) {
  wchar_t text[40] = {};
  StringFromGUID2(id, text, 40);
  return text;
}

std::wstring Wide(const char* ascii) {
  return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

struct Value {
  std::wstring key;   // under HKEY_CLASSES_ROOT
  std::wstring name;  // empty: the key's default value
  std::wstring data;
};

std::vector<Value> ClassValues(const std::wstring& modulePath) {
  const std::wstring clsid = GuidText(CLSID_Q7kComm);
  const std::wstring progId = Wide(kProgId);
  const std::wstring anyVersion = Wide(kVersionIndependentProgId);
  const std::wstring classKey = L"CLSID\\" + clsid;
  return {
      {classKey, L"", kDescription},
      {classKey + L"\\ProgID", L"", progId},
      {classKey + L"\\VersionIndependentProgID", L"", anyVersion},
      {classKey + L"\\InprocServer32", L"", modulePath},
      {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {classKey + L"\\TypeLib", L"", GuidText(LIBID_Q7KCOMMLib)},
      {progId, L"", kDescription},
      {progId + L"\\CLSID", L"", clsid},
      {anyVersion, L"", kDescription},
      {anyVersion + L"\\CLSID", L"", clsid},
      {anyVersion + L"\\CurVer", L"", progId},
  };
}

// The keys registration creates, each removed with all below it: the
// class's own, then those it shares with the other bitness.
std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_Q7kComm); }
std::vector<std::wstring> SharedKeys() {
  return {Wide(kProgId), Wide(kVersionIndependentProgId)};
}

// The other bitness's server, as its hosts find it. On 32-bit Windows the
// flag names this process's own view, whose class key is gone by then.
bool OtherBitnessRegistered() {
  const REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT,
                    (ClassKey() + L"\\InprocServer32").c_str(), 0,
                    KEY_READ | other, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

bool Write(const Value& v) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, v.key.c_str(), 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((v.data.size() + 1) * sizeof(wchar_t));
  const LONG rc =
      RegSetValueExW(key, v.name.empty() ? nullptr : v.name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(v.data.c_str()), bytes);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

LONG DeleteTree(const std::wstring& key) {
  const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

// Every key gone, also when some never existed; with the other bitness
// still registered, only this one's class and its type library entry.
HRESULT RemoveAll() {
  HRESULT hr = S_OK;
  if (DeleteTree(ClassKey()) != ERROR_SUCCESS) hr = SELFREG_E_CLASS;
  const std::wstring libraryKey = L"TypeLib\\" + GuidText(LIBID_Q7KCOMMLib);
  if (OtherBitnessRegistered()) {
    // The interface's key is the other's too: UnRegisterTypeLib would take
    // it with this platform's entry.
    const std::wstring entry =
        libraryKey +
        (kSysKind == SYS_WIN64 ? L"\\1.0\\0\\win64" : L"\\1.0\\0\\win32");
    if (DeleteTree(entry) != ERROR_SUCCESS && hr == S_OK) {
      hr = SELFREG_E_TYPELIB;
    }
    return hr;
  }
  for (const std::wstring& key : SharedKeys()) {
    if (DeleteTree(key) != ERROR_SUCCESS) hr = SELFREG_E_CLASS;
  }
  HKEY library = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, libraryKey.c_str(), 0, KEY_READ,
                    &library) == ERROR_SUCCESS) {
    RegCloseKey(library);
    if (FAILED(UnRegisterTypeLib(LIBID_Q7KCOMMLib, 1, 0, LOCALE_NEUTRAL,
                                 kSysKind)) &&
        hr == S_OK) {
      hr = SELFREG_E_TYPELIB;
    }
  }
  return hr;
}

}  // namespace
}  // namespace q7k

STDAPI DllRegisterServer() {
  const std::wstring path = q7k::ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  for (const q7k::Value& v : q7k::ClassValues(path)) {
    if (!q7k::Write(v)) {
      q7k::RemoveAll();
      return SELFREG_E_CLASS;
    }
  }
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library))) {
    q7k::RemoveAll();
    return SELFREG_E_TYPELIB;
  }
  library->Release();
  return S_OK;
}

STDAPI DllUnregisterServer() { return q7k::RemoveAll(); }
