// A host as Windows programs are written: it registers q7kcomm.dll as
// regsvr32 does, finds the class by ProgID and drives it through COM.
// tests/com_host/automation.vbs calls it by name as a script host. Each
// build's host has the DLL's bitness, so it sees the registry as hosts of
// that bitness do.
#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace {

std::wstring GuidText(const GUID& id) {
  wchar_t text[40] = {};
  StringFromGUID2(id, text, 40);
  return text;
}

// Every value at and below path as "key|name=data"; nothing when the key
// does not exist.
void Dump(const std::wstring& path, std::vector<std::wstring>* out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key)) return;
  wchar_t name[256];
  wchar_t data[1024];
  DWORD n = 256, size = sizeof data;
  for (DWORD i = 0; RegEnumValueW(key, i, name, &n, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(data), &size) == 0;
       ++i, n = 256, size = sizeof data) {
    std::wstring text = data;
    // The system's type library registrar writes these its own way: wine
    // gives paths in their long form and sets the disk-image flag.
    if (text.rfind(L"\\\\?\\", 0) == 0) text.erase(0, 4);
    if (path.size() > 6 && path.substr(path.size() - 6) == L"\\FLAGS") {
      text = L"<flags>";
    }
    out->push_back(path + L"|" + name + L"=" + text);
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0; RegEnumKeyW(key, i, name, 256) == 0; ++i) {
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  for (const std::wstring& sub : subkeys) Dump(path + L"\\" + sub, out);
}

std::wstring DllPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"q7kcomm.dll"), path, MAX_PATH);
  return path;
}

// The registry's view for hosts of the other bitness; none on 32-bit
// Windows.
REGSAM OtherView() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (sizeof(void*) == 8) return KEY_WOW64_32KEY;
  return wow64 ? KEY_WOW64_64KEY : 0;
}

bool Exists(const std::wstring& path, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view,
                    &key)) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// Runs a program as a host of this bitness starts one: by name, found in
// this process's system32 (for a 32-bit process on 64-bit Windows, the
// 32-bit programs). Its output goes to a file: with a pipe the desktop
// process a windowing program starts would inherit it and hold it open.
DWORD RunProgram(std::wstring command, std::string* output) {
  wchar_t dir[MAX_PATH] = {}, name[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"q7k", 0, name);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdOutput = start.hStdError = out;
  PROCESS_INFORMATION process{};
  DWORD code = ~0u;
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                     nullptr, &start, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    SetFilePointer(out, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(out, buffer, sizeof buffer, &n, nullptr) && n > 0) {
      output->append(buffer, n);
    }
  }
  CloseHandle(out);
  return code;
}

// By name, as regsvr32 and COM find them.
HRESULT CallExport(const char* name) {
  FARPROC f = GetProcAddress(GetModuleHandleW(L"q7kcomm.dll"), name);
  if (f == nullptr) return E_NOTIMPL;
  return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(f))();
}

class ComHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(CallExport("DllUnregisterServer"), S_OK);
    CoUninitialize();
  }
};

TEST_F(ComHostTest, RegistrationWritesExactlyItsKeysAndRemovesThemAll) {
  const std::wstring dll = DllPath();
  const std::wstring clsid = GuidText(CLSID_Q7kComm);
  const std::wstring libid = GuidText(LIBID_Q7KCOMMLib);
  const std::wstring c = L"CLSID\\" + clsid;
  const std::wstring t = L"TypeLib\\" + libid + L"\\1.0";
  const std::wstring i = L"Interface\\" + GuidText(IID_IQ7kComm);
  const std::wstring marshaler = L"{00020424-0000-0000-C000-000000000046}";
  const std::vector<std::wstring> roots = {c, L"Veltrax.Q7kComm.1",
                                           L"Veltrax.Q7kComm", t, i};
  std::vector<std::wstring> want = {
      c + L"|=Q7kComm Class",
      c + L"\\InprocServer32|=" + dll,
      c + L"\\InprocServer32|ThreadingModel=Apartment",
      c + L"\\ProgID|=Veltrax.Q7kComm.1",
      c + L"\\TypeLib|=" + libid,
      c + L"\\VersionIndependentProgID|=Veltrax.Q7kComm",
      L"Veltrax.Q7kComm.1|=Q7kComm Class",
      L"Veltrax.Q7kComm.1\\CLSID|=" + clsid,
      L"Veltrax.Q7kComm|=Q7kComm Class",
      L"Veltrax.Q7kComm\\CLSID|=" + clsid,
      L"Veltrax.Q7kComm\\CurVer|=Veltrax.Q7kComm.1",
      t + L"|=Q7kComm 1.0 Type Library",
      t + L"\\0\\" + (sizeof(void*) == 8 ? L"win64" : L"win32") + L"|=" + dll,
      t + L"\\FLAGS|=<flags>",
      t + L"\\HELPDIR|=" + dll.substr(0, dll.find_last_of(L'\\')),
      // IQ7kComm is marshalled by the type library, as automation needs.
      i + L"|=IQ7kComm",
      i + L"\\ProxyStubClsid|=" + marshaler,
      i + L"\\ProxyStubClsid32|=" + marshaler,
      i + L"\\TypeLib|=" + libid,
      i + L"\\TypeLib|Version=1.0",
  };
  std::vector<std::wstring> got;
  for (const std::wstring& root : roots) Dump(root, &got);
  std::sort(want.begin(), want.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);

  // On 64-bit Windows the class is in this bitness's view of the registry
  // only, so a host of the other bitness does not load a DLL it cannot; the
  // ProgIDs, the type library and the interface are shared.
  EXPECT_FALSE(OtherView() && Exists(c, OtherView()));

  // Removed in full; removing again finds nothing and still succeeds.
  ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
  for (const std::wstring& root : roots) EXPECT_FALSE(Exists(root)) << root;
}

// Side by side with the other bitness's server, removing this one leaves
// what the other's hosts need; removing the last removes everything.
TEST_F(ComHostTest, RemovingOneBitnessLeavesTheOthersSharedKeys) {
  const REGSAM other = OtherView();
  if (!other) GTEST_SKIP() << "no other bitness on 32-bit Windows";
  const std::wstring c = L"CLSID\\" + GuidText(CLSID_Q7kComm);
  const std::wstring server = c + L"\\InprocServer32";
  const std::wstring t = L"TypeLib\\" + GuidText(LIBID_Q7KCOMMLib) + L"\\1.0";
  const std::wstring shared[] = {L"Veltrax.Q7kComm.1", L"Veltrax.Q7kComm", t,
                                 L"Interface\\" + GuidText(IID_IQ7kComm)};
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, nullptr, 0,
                            KEY_WRITE | other, nullptr, &key, nullptr),
            0);
  RegCloseKey(key);
  ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
  EXPECT_FALSE(Exists(c));
  EXPECT_FALSE(
      Exists(t + (sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32")));
  for (const std::wstring& path : shared) EXPECT_TRUE(Exists(path)) << path;

  EXPECT_EQ(RegDeleteKeyExW(HKEY_CLASSES_ROOT, server.c_str(), other, 0), 0);
  EXPECT_EQ(RegDeleteKeyExW(HKEY_CLASSES_ROOT, c.c_str(), other, 0), 0);
  ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
  ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
  for (const std::wstring& path : shared) EXPECT_FALSE(Exists(path)) << path;
}

// By ProgID, a simulated session and a failure's error object: ComponentTest,
// automation.vbs and the installed-package client.
TEST_F(ComHostTest, HostReachesTheMethodsItMayAndHoldsTheModule) {
  ComPtr<IQ7kComm> comm;
  ASSERT_EQ(CoCreateInstance(CLSID_Q7kComm, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQ7kComm, comm.AsVoidOut()),
            S_OK);
  EXPECT_EQ(CallExport("DllCanUnloadNow"), S_FALSE);

  // A late-bound caller cannot reach the methods that take records or
  // arrays, neither by name nor by number.
  ComPtr<IDispatch> automation;
  ASSERT_EQ(comm.As(IID_IDispatch, &automation), S_OK);
  auto* name = const_cast<LPOLESTR>(L"StartQ7kTest");
  DISPID start = 0;
  EXPECT_EQ(automation->GetIDsOfNames(IID_NULL, &name, 1, 0, &start),
            DISP_E_UNKNOWNNAME);
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(automation->GetTypeInfo(0, 0, type.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(type->GetIDsOfNames(&name, 1, &start), S_OK);
  DISPPARAMS none{};
  EXPECT_EQ(automation->Invoke(start, IID_NULL, 0, DISPATCH_METHOD, &none,
                               nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);

  // The module stays while an object, the class object or a lock is held.
  automation.Reset();
  comm.Reset();
  EXPECT_EQ(CallExport("DllCanUnloadNow"), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_Q7kComm, CLSCTX_INPROC_SERVER, nullptr,
                             IID_IClassFactory, factory.AsVoidOut()),
            S_OK);
  EXPECT_EQ(CallExport("DllCanUnloadNow"), S_FALSE);
  EXPECT_EQ(
      factory->CreateInstance(factory.Get(), IID_IUnknown, comm.AsVoidOut()),
      CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  ComPtr<IClassFactory> again = factory;
  factory.Reset();
  EXPECT_EQ(CallExport("DllCanUnloadNow"), S_FALSE);
  EXPECT_EQ(again->LockServer(FALSE), S_OK);
  again.Reset();
  EXPECT_EQ(CallExport("DllCanUnloadNow"), S_OK);
}

// A script host of the DLL's bitness: regsvr32 registers it, cscript calls
// it by ProgID and by name, regsvr32 /u removes it. cscript ends with 0
// even when a script stops on an error, so only the script's own last line
// passes.
TEST(ComHostScriptTest, VBScriptDrivesAutomation) {
  const std::string source = Q7K_SOURCE_DIR "/tests/com_host/automation.vbs";
  const std::wstring dll = L" \"" + DllPath() + L"\"";
  std::string output;
  EXPECT_EQ(RunProgram(L"regsvr32 /s" + dll, &output), 0u);
  EXPECT_EQ(RunProgram(L"cscript //nologo \"Z:" +
                           std::wstring(source.begin(), source.end()) + L"\"",
                       &output),
            0u);
  EXPECT_EQ(RunProgram(L"regsvr32 /u /s" + dll, &output), 0u);
  EXPECT_NE(output.find("automation: all checks passed"), std::string::npos)
      << output;
}

}  // namespace
}  // namespace q7k
