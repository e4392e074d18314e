#include "test_session.h"

namespace q7k::tool {
namespace {

// Logs each step, so a failing session shows where it stopped.
HRESULT Step(std::FILE* log, const char* what, HRESULT hr) {
  if (log != nullptr) {
    std::fprintf(log, "%-24s %s\n", what, SUCCEEDED(hr) ? "ok" : "FAILED");
  }
  return hr;
}

}  // namespace

HRESULT RunPowerFactorTest(IQ7kComm* comm, const SessionOptions& options,
                           SessionResult* result, std::FILE* log) {
  HRESULT hr = Step(log, "ReadAppInfo", comm->ReadAppInfo());
  if (FAILED(hr)) return hr;

  Q7K_INIT_PARAMS init{};
  init.LineType = LINE_FREQ_TEST;
  init.VoltageSource = SRC_INTERNAL;
  init.BeeperEnable = -1;
  init.StrobeEnforce = -1;
  init.SafetySwitchEnforce = -1;
  init.LVInsertEnforce = -1;
  init.MaxVolts = 12;
  init.XfmrMaxTempTime = 3600;
  init.XfmrTemp = 35.0f;
  hr = Step(log, "InitTestParams", comm->InitTestParams(&init));
  if (FAILED(hr)) return hr;

  Q7K_RUNTM_PARAMS runtime{};
  runtime.ModeLatch2 = ML2_GST_GND_RED_BLUE;
  runtime.ReferenceType = MAIN_REF_TYPE;
  runtime.AcDcTest = AC_TEST;
  runtime.EnableVoltCorrect = VC_ENABLE;
  runtime.TestPhase = NR_NORMAL;
  runtime.TestVoltage = static_cast<short>(options.kVolts * 1000.0f);
  runtime.CurrentRange = CR_AUTO;
  runtime.Frequency = options.frequency;
  runtime.SamplesToAvg = 10;
  hr = Step(log, "UpdateRuntimeParams", comm->UpdateRuntimeParams(&runtime));
  if (FAILED(hr)) return hr;

  Q7K_TEST_PARAMS& p = result->params;
  p = Q7K_TEST_PARAMS{};
  p.KVolt = options.kVolts;
  p.KVoltMax = options.kVolts;
  p.KVoltStep = options.kVolts / 4.0f;
  p.AdjustWatts = -1;
  p.TypeOfCal = NO_CAL;
  p.TypeOfTest = POWER_FACTOR_TEST;
  p.NormRevStatus = NR_NOCHANGE;
  p.NormRevEnable = NR_NOCHANGE;
  p.NormRevPrevious = NR_NORMAL;
  p.CircDesc = CIRC_GND_RB;
  p.BaseFreq = options.frequency < 55.0f ? FREQ_50HZ : FREQ_60HZ;
  p.DisplayMode = ACTUAL_VALUES;
  p.CapModel = PARALLEL_MODEL;
  p.IndModel = SERIES_MODEL;
  p.FilterType = FIR_FAST_RESULTS;
  p.WattsRange = WR_AUTO;
  p.TestPhase = NR_NORMAL;
  p.Frequency = options.frequency;
  p.SamplesToAvg = 10;
  hr = Step(log, "CalcWattsAdjustment", comm->CalcWattsAdjustment(&p));
  if (FAILED(hr)) return hr;
  hr = Step(log, "StartQ7kTest", comm->StartQ7kTest(&p));
  if (FAILED(hr)) return hr;

  if (options.progress) {
    Bstr message = Bstr::FromUtf8("Measuring power factor");
    comm->DisplayMsgDlg(0, message.get());
    comm->ShowMsgProgress(0, static_cast<short>(options.maxPolls));
  }
  // Poll while the instrument ranges or the voltage settles.
  result->polls = 0;
  do {
    if (result->polls > 0) comm->TimerDelay(options.pollIntervalMs, 1);
    hr = comm->FullRequestTestResults(&p, &result->data, &result->thermal);
    ++result->polls;
    if (options.progress) comm->StepMsgProgress(1);
  } while (SUCCEEDED(hr) && (p.Ranging || p.VoltageSettling) &&
           result->polls < options.maxPolls);
  if (options.progress) comm->DestroyMsgDlg();
  Step(log, "FullRequestTestResults", hr);
  if (FAILED(hr)) return hr;

  hr = Step(log, "AdjustTestData", comm->AdjustTestData(&p, &result->data));
  if (FAILED(hr)) return hr;
  hr = Step(log, "StopQ7kTest", comm->StopQ7kTest());
  if (FAILED(hr)) return hr;
  if (p.Ranging || p.VoltageSettling) {
    if (log)
      std::fprintf(log, "no settled result after %d polls\n", result->polls);
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace q7k::tool
