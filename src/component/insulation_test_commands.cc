// The test commands of IQ7kComm: application information, power-on
// sequence, parameters, start, result polls and stop.
#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "component/insulation_test_records.h"
#include "link/command_codes.h"

namespace q7k {
namespace {

constexpr int32_t kStartTimeoutMs = 5000;
constexpr int32_t kSettleAfterStartMs = 2000;

uint16_t ResultCommand(const Q7K_TEST_PARAMS& p) {
  return p.ExtendedResults != 0 ? cmd::kExtendedResults : cmd::kResults;
}

}  // namespace

bool Q7kCommObject::QueryRunningApp(AppInfo* out) {
  if (simulating()) return sim_.QueryRunningApp(out, *errorState_);
  Transactor* const link = transactor();
  if (link == nullptr) return false;
  MessageBuffer reply;
  if (!link->Transmit(cmd::kAppInfo, nullptr, 0, &reply)) return false;
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
  sim_.UpdateRuntime(runParams->Frequency);
  const auto payload = EncodeRuntimeParams(*runParams);
  return Command(cmd::kRuntimeParams, payload.data(), payload.size());
}

HRESULT Q7kCommObject::StartQ7kTest(Q7K_TEST_PARAMS* testParams) {
  const auto lock = Serialize();
  if (testParams == nullptr) return E_POINTER;
  // The simulated specimen is prepared; the start itself goes to the port.
  if (simulating()) sim_.StartTest(*testParams, cal_);
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
    return sim_.TestResults(ResultsVariant::kFull, *testParams, *testData,
                            *thermalData);
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
    return sim_.TestResults(ResultsVariant::kReceive, *testParams, *testData,
                            *thermalData);
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
