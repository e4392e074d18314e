// A host program built only from an installed package's headers and import
// library. It finds the server by ProgID as the installer registered it,
// checks that COM loaded the installed DLL of its own bitness, and runs a
// simulated session and one with the instrument on a COM port.
//
// Usage: installed_client DLL-PATH PORT; one line per check, exit code 1
// when one failed.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "q7kcomm/q7kcomm.h"

namespace {

using namespace q7k;

const char* const kBits = sizeof(void*) == 8 ? "x64" : "x86";
int failures = 0;

bool Check(bool ok, const char* what, const std::string& detail = "") {
  std::printf("%s  %s host: %s%s%s\n", ok ? "ok  " : "FAIL", kBits, what,
              detail.empty() ? "" : " -- ", detail.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
  return ok;
}

std::string Why(IQ7kComm* comm) {
  short code = 0;
  comm->get_ErrorCode(&code);
  Bstr text;
  comm->get_ErrorMsg(text.out());
  return std::to_string(code) + " " + text.utf8();
}

// One insulation test: start, poll past ranging and settling, stop.
bool RunTest(IQ7kComm* comm, Q7K_TEST_DATA* data) {
  Q7K_INIT_PARAMS init{};
  init.MaxVolts = 12;
  Q7K_TEST_PARAMS params{};
  params.KVolt = params.KVoltMax = 10.0f;
  params.Frequency = 60.0f;
  params.CapModel = params.IndModel = PARALLEL_MODEL;
  Q7K_THERMAL_DATA thermal{};
  if (comm->InitTestParams(&init) != S_OK) return false;
  if (comm->StartQ7kTest(&params) != S_OK) return false;
  int polls = 0;
  do {
    if (comm->FullRequestTestResults(&params, data, &thermal) != S_OK) {
      return false;
    }
  } while ((params.Ranging || params.VoltageSettling) && ++polls < 20);
  return comm->StopQ7kTest() == S_OK;
}

void SimulatedSession(IQ7kComm* comm) {
  Q7K_TEST_DATA data{};
  bool ok = comm->put_SimulMode(SIMUL_CLIP) == S_OK &&
            comm->put_SimulFast(1) == S_OK &&
            comm->OpenPort(COM3, BPS_115200) == S_OK && RunTest(comm, &data);
  Check(ok && data.KVoltMeas > 0.0f && data.Amperes > 0.0f,
        "simulated test session", ok ? "" : Why(comm));
  comm->ClosePort();
}

void InstrumentSession(IQ7kComm* comm, int port) {
  comm->put_SimulMode(SIMUL_NONE);
  bool ok = comm->OpenPort(static_cast<Q7K_PORT>(port), BPS_115200) == S_OK &&
            comm->ReadAppInfo() == S_OK;
  Bstr name;
  if (ok) comm->get_AppName(name.out());
  Check(ok && name.utf8().rfind("Q7I", 0) == 0,
        "instrument answers on the COM port", ok ? name.utf8() : Why(comm));
  Q7K_TEST_DATA data{};
  ok = ok && comm->StartPONSequence() == S_OK && RunTest(comm, &data);
  // The virtual instrument's default specimen is 1 nF.
  char capacitance[32];
  std::snprintf(capacitance, sizeof capacitance, "%.4g F", data.ParallelCap);
  Check(ok && data.ParallelCap > 0.99e-9 && data.ParallelCap < 1.01e-9,
        "instrument test session", ok ? capacitance : Why(comm));
  comm->ClosePort();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: installed_client DLL-PATH PORT\n");
    return 2;
  }
  const std::string dll = argv[1];
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CLSID clsid{};
    bool ok = true;
    for (const wchar_t* progId : {L"Veltrax.Q7kComm.1", L"Veltrax.Q7kComm"}) {
      ok = ok && CLSIDFromProgID(progId, &clsid) == S_OK &&
           IsEqualGUID(clsid, CLSID_Q7kComm);
    }
    Check(ok, "both ProgIDs name the class");
    ComPtr<IQ7kComm> comm;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IQ7kComm, comm.AsVoidOut());
    if (Check(hr == S_OK, "CoCreateInstance")) {
      char path[MAX_PATH] = {};
      GetModuleFileNameA(GetModuleHandleA("q7kcomm.dll"), path, MAX_PATH);
      Check(_stricmp(path, dll.c_str()) == 0, "the installed DLL is loaded",
            path);
      SimulatedSession(comm.Get());
      InstrumentSession(comm.Get(), std::atoi(argv[2]));
    }
  }
  CoUninitialize();
  return failures == 0 ? 0 : 1;
}
