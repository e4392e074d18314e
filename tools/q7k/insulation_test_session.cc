#include "insulation_test_session.h"

namespace q7k::tool {
namespace {

// Logs each step, so a failing session shows where it stopped, and keeps
// the first failure before later calls can replace the component's error.
struct Steps {
  IQ7kComm* comm;
  SessionResult* result;
  std::FILE* log;

  HRESULT operator()(const char* what, HRESULT hr) {
    if (log != nullptr) {
      std::fprintf(log, "%-24s %s\n", what, SUCCEEDED(hr) ? "ok" : "FAILED");
    }
    if (FAILED(hr) && result->failedCall.empty()) {
      result->failedCall = what;
      comm->get_ErrorCode(&result->errorCode);
      Bstr message;
      comm->get_ErrorMsg(message.out());
      result->errorMessage = message.utf8();
    }
    return hr;
  }
};

MODE_LATCH2 LatchFor(CIRC_DESC circuit) {
  switch (circuit) {
    case CIRC_GAR_RB:
      return ML2_GST_GAR_RED_BLUE;
    case CIRC_GAR_R:
      return ML2_GST_GAR_RED;
    case CIRC_GAR_B:
      return ML2_GST_GAR_BLUE;
    case CIRC_UST_RB:
      return ML2_UST_RED_BLUE;
    case CIRC_UST_R:
      return ML2_UST_RED;
    case CIRC_UST_B:
      return ML2_UST_BLUE;
    case CIRC_GND_RB:
      break;
  }
  return ML2_GST_GND_RED_BLUE;
}

bool ExternalReference(TYPE_OF_TEST type) {
  return type == EXT_REF_TEST || type == EXT_REF_GST;
}

bool StopRequested(const SessionOptions& options) {
  return options.stopRequested && options.stopRequested();
}

// The wait between polls, in short steps so that a stop request ends it
// soon; false when one came.
bool WaitBetweenPolls(IQ7kComm* comm, const SessionOptions& options) {
  constexpr int kStepMs = 100;
  for (int left = options.pollIntervalMs; left > 0; left -= kStepMs) {
    if (StopRequested(options)) return false;
    comm->TimerDelay(left < kStepMs ? left : kStepMs, 1);
  }
  return !StopRequested(options);
}

}  // namespace

HRESULT RunTestSession(IQ7kComm* comm, const SessionOptions& options,
                       SessionResult* result, std::FILE* log) {
  result->failedCall.clear();
  Steps Step{comm, result, log};
  HRESULT hr = Step("ReadAppInfo", comm->ReadAppInfo());
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
  hr = Step("InitTestParams", comm->InitTestParams(&init));
  if (FAILED(hr)) return hr;

  Q7K_RUNTM_PARAMS runtime{};
  runtime.ModeLatch2 = LatchFor(options.circuit);
  runtime.ReferenceType =
      ExternalReference(options.type) ? EXT_CAPACITOR : MAIN_REF_TYPE;
  runtime.AcDcTest = AC_TEST;
  runtime.EnableVoltCorrect = VC_ENABLE;
  runtime.TestPhase = NR_NORMAL;
  runtime.TestVoltage = static_cast<short>(options.kVolts * 1000.0f);
  runtime.CurrentRange = CR_AUTO;
  runtime.Frequency = options.frequency;
  runtime.SamplesToAvg = 10;
  hr = Step("UpdateRuntimeParams", comm->UpdateRuntimeParams(&runtime));
  if (FAILED(hr)) return hr;

  Q7K_TEST_PARAMS& p = result->params;
  p = Q7K_TEST_PARAMS{};
  p.KVolt = options.kVolts;
  p.KVoltMax = options.kVolts;
  p.KVoltStep = options.kVolts / 4.0f;
  p.AdjustWatts = -1;
  p.ExtendedResults = options.extended ? -1 : 0;
  p.TypeOfCal = NO_CAL;
  p.TypeOfTest = options.type;
  p.NormRevStatus = NR_NOCHANGE;
  p.NormRevEnable = NR_NOCHANGE;
  p.NormRevPrevious = NR_NORMAL;
  p.CircDesc = options.circuit;
  p.BaseFreq = options.frequency < 55.0f ? FREQ_50HZ : FREQ_60HZ;
  p.DisplayMode = ACTUAL_VALUES;
  p.CapModel = PARALLEL_MODEL;
  p.IndModel = SERIES_MODEL;
  p.FilterType = options.filter;
  p.WattsRange = WR_AUTO;
  p.TestPhase = NR_NORMAL;
  p.Frequency = options.frequency;
  p.SamplesToAvg = 10;
  hr = Step("CalcWattsAdjustment", comm->CalcWattsAdjustment(&p));
  if (FAILED(hr)) return hr;
  if (StopRequested(options)) {
    result->stopped = true;
    return E_FAIL;
  }
  hr = Step("StartQ7kTest", comm->StartQ7kTest(&p));
  if (FAILED(hr)) return hr;

  if (options.progress) {
    Bstr message = Bstr::FromUtf8("Measuring");
    comm->DisplayMsgDlg(0, message.get());
    // The label reads "Completed: <position> %", so the bar counts in
    // percent of the polls allowed; a step of 0 before it shows replaces
    // the window's template text (in French).
    comm->StepMsgProgress(0);
    comm->ShowMsgProgress(0, 100);
  }
  // Poll while the instrument ranges or the voltage settles. Extended
  // results exist only as a request and a separate receive.
  const char* pollCall =
      options.extended ? "ReceiveTestResults" : "FullRequestTestResults";
  result->polls = 0;
  do {
    if (result->polls > 0 && !WaitBetweenPolls(comm, options)) {
      result->stopped = true;
      break;
    }
    if (options.extended) {
      hr = comm->RequestTestResults(&p);
      if (FAILED(hr)) pollCall = "RequestTestResults";
      if (SUCCEEDED(hr)) {
        hr = comm->ReceiveTestResults(&p, &result->data, &result->thermal);
      }
    } else {
      hr = comm->FullRequestTestResults(&p, &result->data, &result->thermal);
    }
    ++result->polls;
    if (options.progress) {
      comm->StepMsgProgress(
          static_cast<short>(100 * result->polls / options.maxPolls -
                             100 * (result->polls - 1) / options.maxPolls));
    }
    if (SUCCEEDED(hr) && options.onPoll) options.onPoll(*result);
  } while (SUCCEEDED(hr) && (p.Ranging || p.VoltageSettling) &&
           result->polls < options.maxPolls);
  if (options.progress) comm->DestroyMsgDlg();
  Step(pollCall, hr);
  if (result->stopped) {
    Step("StopQ7kTest", comm->StopQ7kTest());
    return E_FAIL;
  }
  if (FAILED(hr)) {
    comm->StopQ7kTest();
    return hr;
  }

  hr = Step("AdjustTestData", comm->AdjustTestData(&p, &result->data));
  if (FAILED(hr)) return hr;
  hr = Step("StopQ7kTest", comm->StopQ7kTest());
  if (FAILED(hr)) return hr;
  if (p.Ranging || p.VoltageSettling) return E_FAIL;
  return S_OK;
}

}  // namespace q7k::tool
