// Post-processing and progress-window methods of IQ7kComm.
#include "component/command_guard.h"
#include "component/post_processing.h"
#include "component/q7k_comm_object.h"
#include "platform/bstr_text.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

constexpr float kNoFrequency = -1.0f;

// Stops a test the caller started after a later step failed: the
// instrument must not go on applying voltage while the host believes the
// measurement is over. The failure that ended the sequence stays the one
// recorded and published; the stop's own outcome is dropped.
void StopAfterFailure(IQ7kComm* comm, ErrorState* errors) {
  const ErrorState first = *errors;
  ErrorInfo published;
  const bool hadInfo = GetErrorInfo(&published) == S_OK;
  comm->StopQ7kTest();
  *errors = first;
  if (hadInfo) {
    SetErrorInfo(published);
  } else {
    ClearErrorInfo();
  }
}

}  // namespace

HRESULT Q7kCommObject::CalcWattsAdjustment(Q7K_TEST_PARAMS* testParams) {
  const auto lock = Serialize();
  if (testParams == nullptr) return E_POINTER;
  testParams->WattsAdjustment = 0.0f;
  if (simulating()) return sim_.CalcWattsAdjustment(*testParams);
  // Through the component's own EEPROM methods, with their guards.
  short revision = 0, flags = 0;
  if (FAILED(ReadInt(0, 0, kWattsRevisionLocation, &revision)) ||
      FAILED(ReadInt(0, 0, kWattsFlagsLocation, &flags))) {
    return E_FAIL;
  }
  if (!WattsAdjustmentStored(revision, static_cast<uint16_t>(flags))) {
    return S_OK;
  }
  float stored = 0.0f;
  if (FAILED(ReadFloat(0, 0, WattsAdjustmentLocation(testParams->CircDesc),
                       &stored))) {
    return E_FAIL;
  }
  testParams->WattsAdjustment = WattsAdjustmentFromEeprom(
      revision, static_cast<uint16_t>(flags), stored, testParams->KVoltMax);
  return S_OK;
}

HRESULT Q7kCommObject::AdjustTestData(Q7K_TEST_PARAMS* testParams,
                                      Q7K_TEST_DATA* testData) {
  const auto lock = Serialize();
  if (testParams == nullptr || testData == nullptr) return E_POINTER;
  q7k::AdjustTestData(*testParams, *testData);
  return S_OK;
}

HRESULT Q7kCommObject::MeasureLineFrequency(short nMsg, float fMaxKVolts,
                                            float* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (nMsg != 0) {
    Bstr message(errorState_->LoadText(ids::kMeasuringFrequency));
    DisplayMsgDlg(parentHwnd_, message.get());
  }

  Q7K_INIT_PARAMS init{};
  init.LineType = LINE_SYNC_TEST;
  init.VoltageSource = SRC_EXTERNAL;
  init.MaxVolts = 10;
  init.XfmrMaxTempTime = 3600;
  init.XfmrTemp = 35.0f;
  const bool initialised = SUCCEEDED(InitTestParams(&init));

  Q7K_RUNTM_PARAMS runtime{};
  runtime.ReferenceType = EXT_CAPACITOR;
  runtime.CurrentRange = CR_AUTO;
  runtime.Frequency = 60.0f;
  Q7K_TEST_DATA data{};
  Q7K_THERMAL_DATA thermal{};
  Q7K_TEST_PARAMS params{};
  params.KVoltMax = fMaxKVolts;
  params.CapModel = PARALLEL_MODEL;
  params.IndModel = PARALLEL_MODEL;
  params.CircDesc = CIRC_GND_RB;
  params.DisplayMode = ACTUAL_VALUES;
  params.FilterType = FIR_FAST_RESULTS;
  params.WattsRange = WR_AUTO;
  params.TestPhase = NR_NORMAL;
  params.Frequency = 60.0f;

  // Through the component's own methods, so their guards, simulated paths
  // and error reporting apply; the first failure ends the sequence. Once the
  // start was sent the test may run, whatever its reply said.
  const bool reachedStart =
      initialised && SUCCEEDED(UpdateRuntimeParams(&runtime));
  const bool measured =
      reachedStart && SUCCEEDED(StartQ7kTest(&params)) &&
      SUCCEEDED(FullRequestTestResults(&params, &data, &thermal));
  const bool ok = measured && SUCCEEDED(StopQ7kTest());
  if (reachedStart && !measured) StopAfterFailure(this, errorState_.get());

  if (nMsg != 0) DestroyMsgDlg();
  *pVal = ok ? data.FrequencyMeas : kNoFrequency;
  return ok ? S_OK : E_FAIL;
}

HRESULT Q7kCommObject::DisplayMsgDlg(int32_t hWnd, BSTR bstrMsg) {
  const auto lock = Serialize();
  const std::u16string message = BstrText(bstrMsg);
  progress_.Display(hWnd, message,
                    [this](int32_t id) { return errorState_->LoadText(id); });
  return S_OK;
}

HRESULT Q7kCommObject::DestroyMsgDlg() {
  const auto lock = Serialize();
  progress_.Destroy();
  return S_OK;
}

HRESULT Q7kCommObject::ShowMsgProgress(short nLower, short nUpper) {
  const auto lock = Serialize();
  progress_.ShowProgress(nLower, nUpper);
  return S_OK;
}

HRESULT Q7kCommObject::StepMsgProgress(short nStep) {
  const auto lock = Serialize();
  progress_.Step(nStep);
  return S_OK;
}

}  // namespace q7k
