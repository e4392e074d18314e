// The test commands of IQ7kComm: application information, power-on
// sequence, parameters, start, result polls and stop.
#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "component/insulation_test_records.h"
#include "firmware/app_image_file.h"
#include "link/command_codes.h"
#include "simulator/simulated_results.h"
#include "simulator/simulated_start.h"

namespace q7k {
namespace {

constexpr int32_t kStartTimeoutMs = 5000;
constexpr int32_t kSettleAfterStartMs = 2000;
constexpr char kSimulatedDescription[] = "Q7300 Instrument Measurement App";

uint16_t ResultCommand(const Q7K_TEST_PARAMS& p) {
  return p.ExtendedResults != 0 ? cmd::kExtendedResults : cmd::kResults;
}

}  // namespace

SimulatorSettings Q7kCommObject::simulatorSettings() const {
  SimulatorSettings s;
  s.mode = simulMode_;
  s.fast = simulFast_;
  s.boxType = simulBoxType_;
  s.runtimeFrequency = runtimeFrequency_;
  return s;
}

bool Q7kCommObject::QueryRunningApp(AppInfo* out) {
  if (simulating()) {
    // The simulated instrument runs whatever firmware file is on disk; a
    // file error is recorded, the query still succeeds.
    const int32_t error = ReadAppFileHeader(kFirmwareName, out);
    if (error != kAppFileOk) errorState_->RecordAppFileError(error, true);
    std::memset(out->Description, 0, sizeof out->Description);
    std::memcpy(out->Description, kSimulatedDescription,
                sizeof kSimulatedDescription - 1);
    return true;
  }
  Transactor* const link = transactor();
  if (link == nullptr) return false;
  MessageBuffer reply;
  if (!link->Transmit(cmd::kAppInfo, nullptr, 0, &reply)) return false;
  if (link->Simulating()) return true;
  return SUCCEEDED(
      DecodeReply(reply, kAppInfoWire, [out](const uint8_t* p, size_t) {
        UnpackAppInfo(p, true, out);
        return true;
      }));
}

HRESULT Q7kCommObject::ReadAppInfo() {
  const auto lock = Serialize();
  currentApp_.Clear();
  return QueryRunningApp(&currentApp_) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::StartPONSequence() {
  const auto lock = Serialize();
  return Command(cmd::kPowerOn);
}

HRESULT Q7kCommObject::InitTestParams(Q7K_INIT_PARAMS* initParams) {
  const auto lock = Serialize();
  if (initParams == nullptr) return E_POINTER;
  const auto payload = EncodeInitParams(*initParams);
  return Command(cmd::kInitParams, payload.data(), payload.size());
}

HRESULT Q7kCommObject::UpdateRuntimeParams(Q7K_RUNTM_PARAMS* runParams) {
  const auto lock = Serialize();
  if (runParams == nullptr) return E_POINTER;
  sim_.simPollCount = 0;
  runtimeFrequency_ = runParams->Frequency;
  const auto payload = EncodeRuntimeParams(*runParams);
  return Command(cmd::kRuntimeParams, payload.data(), payload.size());
}

HRESULT Q7kCommObject::StartQ7kTest(Q7K_TEST_PARAMS* testParams) {
  const auto lock = Serialize();
  if (testParams == nullptr) return E_POINTER;
  if (simulating()) {
    SimulatorCalPool pool{cal_.CalResistor, cal_.GainCoeffs, cal_.PhaseCoeffs};
    SimulatedTestStart(sim_, simulatorSettings(), *testParams, pool);
    sim_.simPollCount = 0;
  }
  Transactor* const link = transactor();
  if (link == nullptr) return E_FAIL;
  bool ok;
  {
    ScopedReplyTimeout timeout(link, kStartTimeoutMs);
    MessageBuffer reply;
    ok = link->Transmit(cmd::kStartTest, nullptr, 0, &reply);
    if (ok) TimerDelay(kSettleAfterStartMs, 0);
  }
  return ok ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::FullRequestTestResults(Q7K_TEST_PARAMS* testParams,
                                              Q7K_TEST_DATA* testData,
                                              Q7K_THERMAL_DATA* thermalData) {
  const auto lock = Serialize();
  if (!testParams || !testData || !thermalData) return E_POINTER;
  if (simulating()) {
    SimulatedTestResults(sim_, simulatorSettings(), ResultsVariant::kFull,
                         *testParams, *testData, *thermalData);
    return S_OK;
  }
  const auto payload = EncodeResultRequest(*testParams);
  return Command(cmd::kResults, payload.data(), payload.size(),
                 kResultReplyBytes, [&](const uint8_t* p, size_t n) {
                   return DecodeTestResults(p, n, testParams, testData,
                                            thermalData);
                 });
}

HRESULT Q7kCommObject::RequestTestResults(Q7K_TEST_PARAMS* testParams) {
  const auto lock = Serialize();
  if (testParams == nullptr) return E_POINTER;
  Transactor* const link = transactor();
  if (link == nullptr) return ReportFailure();
  const auto payload = EncodeResultRequest(*testParams);
  return link->SendOnly(ResultCommand(*testParams), payload.data(),
                        payload.size())
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::ReceiveTestResults(Q7K_TEST_PARAMS* testParams,
                                          Q7K_TEST_DATA* testData,
                                          Q7K_THERMAL_DATA* thermalData) {
  const auto lock = Serialize();
  if (!testParams || !testData || !thermalData) return E_POINTER;
  if (simulating()) {
    SimulatedTestResults(sim_, simulatorSettings(), ResultsVariant::kReceive,
                         *testParams, *testData, *thermalData);
    return S_OK;
  }
  Transactor* const link = transactor();
  if (link == nullptr) return ReportFailure();
  MessageBuffer reply;
  if (!link->ReceiveOnly(ResultCommand(*testParams), &reply)) {
    return ReportFailure();
  }
  return DecodeReply(reply, kResultReplyBytes, [&](const uint8_t* p, size_t n) {
    return DecodeTestResults(p, n, testParams, testData, thermalData);
  });
}

HRESULT Q7kCommObject::StopQ7kTest() {
  const auto lock = Serialize();
  return Command(cmd::kStopTest);
}

}  // namespace q7k
