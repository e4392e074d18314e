// A host as Windows programs are written: it registers q7kcomm.dll as
// regsvr32 does, finds the class by ProgID and drives it through COM.
#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace {

using Entry = std::wstring;  // "key|name=data", one per registry value

std::wstring GuidText(const GUID& id) {
  wchar_t text[40] = {};
  StringFromGUID2(id, text, 40);
  return text;
}

// Every value below root (root itself included), sorted; empty when root
// does not exist.
void Dump(HKEY parent, const std::wstring& path, std::vector<Entry>* out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != 0) return;
  wchar_t name[256];
  BYTE data[2048];
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = 256, dataLen = sizeof data, type = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &dataLen) !=
        0) {
      break;
    }
    std::wstring text =
        type == REG_SZ ? reinterpret_cast<const wchar_t*>(data) : L"<binary>";
    // The system's type library registrar writes these its own way: wine
    // gives paths in their long form and sets the disk-image flag.
    if (text.rfind(L"\\\\?\\", 0) == 0) text.erase(0, 4);
    if (path.size() > 6 && path.substr(path.size() - 6) == L"\\FLAGS") {
      text = L"<flags>";
    }
    out->push_back(path + L"|" + name + L"=" + text);
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = 256;
    if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr,
                      nullptr) != 0) {
      break;
    }
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  for (const std::wstring& sub : subkeys) Dump(parent, path + L"\\" + sub, out);
}

std::wstring DllPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"q7kcomm.dll"), path, MAX_PATH);
  return path;
}

// By name, as regsvr32 and COM find them.
template <typename F>
F Export(const char* name) {
  FARPROC f = GetProcAddress(GetModuleHandleW(L"q7kcomm.dll"), name);
  return reinterpret_cast<F>(reinterpret_cast<void*>(f));
}

using DllFunction = HRESULT(STDAPICALLTYPE*)();

class ComHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_NE(GetModuleHandleW(L"q7kcomm.dll"), nullptr);
    ASSERT_EQ(Export<DllFunction>("DllRegisterServer")(), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(Export<DllFunction>("DllUnregisterServer")(), S_OK);
    CoUninitialize();
  }
  const std::wstring clsid_ = GuidText(CLSID_Q7kComm);
  const std::wstring libid_ = GuidText(LIBID_Q7KCOMMLib);
  const std::vector<std::wstring> roots_ = {
      L"CLSID\\" + clsid_, L"Veltrax.Q7kComm.1", L"Veltrax.Q7kComm",
      L"TypeLib\\" + libid_};
};

TEST_F(ComHostTest, RegistrationWritesExactlyItsKeysAndRemovesThemAll) {
  const std::wstring dll = DllPath();
  std::wstring dir = dll.substr(0, dll.find_last_of(L'\\'));
  const std::wstring c = L"CLSID\\" + clsid_;
  const std::wstring t = L"TypeLib\\" + libid_ + L"\\1.0";
  std::vector<Entry> want = {
      c + L"|=Q7kComm Class",
      c + L"\\InprocServer32|=" + dll,
      c + L"\\InprocServer32|ThreadingModel=Apartment",
      c + L"\\ProgID|=Veltrax.Q7kComm.1",
      c + L"\\TypeLib|=" + libid_,
      c + L"\\VersionIndependentProgID|=Veltrax.Q7kComm",
      L"Veltrax.Q7kComm.1|=Q7kComm Class",
      L"Veltrax.Q7kComm.1\\CLSID|=" + clsid_,
      L"Veltrax.Q7kComm|=Q7kComm Class",
      L"Veltrax.Q7kComm\\CLSID|=" + clsid_,
      L"Veltrax.Q7kComm\\CurVer|=Veltrax.Q7kComm.1",
      t + L"|=Q7kComm 1.0 Type Library",
      t + L"\\0\\" + (sizeof(void*) == 8 ? L"win64" : L"win32") + L"|=" + dll,
      t + L"\\FLAGS|=<flags>",
      t + L"\\HELPDIR|=" + dir,
  };
  std::vector<Entry> got;
  for (const std::wstring& root : roots_) Dump(HKEY_CLASSES_ROOT, root, &got);
  std::sort(want.begin(), want.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);

  // Removed in full; a second removal finds nothing and still succeeds.
  ASSERT_EQ(Export<DllFunction>("DllUnregisterServer")(), S_OK);
  for (const std::wstring& root : roots_) {
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, root.c_str(), 0, KEY_READ, &key),
              0);
  }
  CLSID found;
  EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Veltrax.Q7kComm.1", &found)));
}

TEST_F(ComHostTest, HostRunsASimulatedSessionByProgId) {
  for (const wchar_t* progId : {L"Veltrax.Q7kComm.1", L"Veltrax.Q7kComm"}) {
    CLSID found{};
    ASSERT_EQ(CLSIDFromProgID(progId, &found), S_OK);
    EXPECT_EQ(found, CLSID_Q7kComm);
  }
  IQ7kComm* comm = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_Q7kComm, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQ7kComm, reinterpret_cast<void**>(&comm)),
            S_OK);
  const auto canUnload = Export<DllFunction>("DllCanUnloadNow");
  EXPECT_EQ(canUnload(), S_FALSE);

  ASSERT_EQ(comm->put_SimulMode(SIMUL_CLIP), S_OK);
  ASSERT_EQ(comm->put_SimulFast(1), S_OK);
  ASSERT_EQ(comm->OpenPort(COM3, BPS_115200), S_OK);
  Q7K_INIT_PARAMS init{};
  ASSERT_EQ(comm->InitTestParams(&init), S_OK);
  Q7K_TEST_PARAMS params{};
  params.KVolt = params.KVoltMax = 10.0f;
  ASSERT_EQ(comm->StartQ7kTest(&params), S_OK);
  Q7K_TEST_DATA data{};
  Q7K_THERMAL_DATA thermal{};
  ASSERT_EQ(comm->FullRequestTestResults(&params, &data, &thermal), S_OK);
  EXPECT_GT(data.KVoltMeas, 0.0f);
  EXPECT_GT(data.Amperes, 0.0f);
  EXPECT_EQ(comm->StopQ7kTest(), S_OK);
  EXPECT_EQ(comm->ClosePort(), S_OK);

  // A failure publishes its text through the system's error objects.
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(comm->QueryInterface(IID_ISupportErrorInfo,
                                 reinterpret_cast<void**>(&support)),
            S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IQ7kComm), S_OK);
  support->Release();
  ASSERT_EQ(comm->put_SimulMode(SIMUL_NONE), S_OK);
  EXPECT_EQ(comm->OpenPort(static_cast<Q7K_PORT>(250), BPS_9600), E_FAIL);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(::GetErrorInfo(0, &info), S_OK);
  BSTR text = nullptr;
  ASSERT_EQ(info->GetDescription(&text), S_OK);
  EXPECT_STREQ(text, L"COM port not found");
  SysFreeString(text);
  ASSERT_EQ(info->GetSource(&text), S_OK);
  EXPECT_STREQ(text, L"Veltrax.Q7kComm.1");
  SysFreeString(text);
  info->Release();

  EXPECT_EQ(comm->Release(), 0u);
  EXPECT_EQ(canUnload(), S_OK);
  // A client holding the class object, or a lock on it, keeps the module.
  const auto classObject = [] {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(
        CoGetClassObject(CLSID_Q7kComm, CLSCTX_INPROC_SERVER, nullptr,
                         IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    return factory;
  };
  IClassFactory* factory = classObject();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);
  EXPECT_EQ(
      factory->CreateInstance(reinterpret_cast<IUnknown*>(factory),
                              IID_IUnknown, reinterpret_cast<void**>(&comm)),
      CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_FALSE);
  factory = classObject();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace q7k
