#include "simulator/simulated_results.h"

#include <cstdint>

#include "simulator/noise.h"

namespace q7k {
namespace {

constexpr double kTwoPi = 6.28318;

bool AveragingMode(SIMUL_MODE mode) {
  return mode == SIMUL_XREF || mode == SIMUL_LEAK || mode == SIMUL_BHT;
}

// Steps 3 to 12 of a poll past the ranging phase.
void MeasuredValues(SimulatorState& state, const SimulatorSettings& settings,
                    bool quiet, Q7K_TEST_PARAMS& params, Q7K_TEST_DATA& data) {
  const SIMUL_MODE mode = settings.mode;
  const bool fast = settings.fast;
  params.Ranging = 0;
  if (AveragingMode(mode) && params.FilterType == LOWPASS_AVERAGED &&
      data.SamplesAveraged >= static_cast<int64_t>(params.SamplesToAvg) - 5) {
    quiet = true;
  }
  auto noise = [&](double a) { return Noise(a, quiet, fast); };

  const float current = state.specCurrent;
  const float watts = state.specWatts;
  const float c = state.specReactive;
  const float r = state.specResistance;

  float s = data.KVoltMeas / params.KVoltMax;
  const double amps = current * 0.001 + noise(current * 5e-5);
  const double wattsNoisy = watts + noise(watts * 0.05);
  if (mode >= SIMUL_XREF && mode <= SIMUL_CAL && quiet) s = 1.0f;

  if (mode != SIMUL_CAL) {
    data.Amperes = amps * s;
    data.Watts = wattsNoisy * s * s;
  } else {
    // The specimen is driven at KVolt through its impedance; s ends as the
    // watts denominator.
    const float z = state.specImpedance;
    const double impedance = z + noise(z * 0.02);
    data.Amperes = params.KVolt * 1000.0 / impedance;
    const double resistance = r + noise(r * 0.02);
    data.Watts = params.KVolt * params.KVolt * 1e6 / resistance;
    s = resistance;
  }

  const double omega = kTwoPi * params.Frequency;
  double cx;
  double lx;
  if (c >= 0) {
    cx = c;
    lx = -1.0 / (omega * omega * c);
  } else {
    lx = -c;
    cx = 1.0 / (omega * omega * c);
  }
  double rx;
  if (s == 0) {
    cx = 0.0;
    lx = 0.0;
    rx = 0.0;
  } else {
    cx += noise(cx * 0.05);
    lx += noise(lx * 0.05);
    rx = r + noise(r * 0.05);
  }

  const double sin2 =
      static_cast<double>(state.specSinTheta) * state.specSinTheta;
  const double cos2 =
      static_cast<double>(state.specCosTheta) * state.specCosTheta;
  const bool parallel = (c <= 0 || params.CapModel == PARALLEL_MODEL) &&
                        (c >= 0 || params.IndModel == PARALLEL_MODEL);
  if (parallel) {
    data.ParallelCap = cx;
    data.ParallelInd = lx;
    data.ParallelRes = rx;
    data.SeriesCap = cx / sin2;
    data.SeriesInd = lx * sin2;
    data.SeriesRes = rx * cos2;
  } else {
    data.SeriesCap = cx;
    data.SeriesInd = lx;
    data.SeriesRes = rx;
    data.ParallelCap = cx * sin2;
    data.ParallelInd = lx / sin2;
    data.ParallelRes = rx / cos2;
  }

  if (params.DisplayMode == REF_TO_10KV && data.KVoltCalc != 0) {
    const double k = 10.0 / data.KVoltCalc;
    data.Amperes = data.Amperes * k;
    data.Watts = data.Watts * k * k;
  }
  if (mode == SIMUL_LEAK) {
    data.SeriesInd = -lx;
    data.SeriesRes = rx;
  }

  if (s == 0) {
    data.PowerFactor = 0.0f;
    data.TangentDelta = 0.0f;
    data.SineThetaX100 = 0.0f;
  } else {
    const float pf = state.specPowerFactor;
    const float tanDelta = state.specTanDelta;
    const float sinTheta = state.specSinTheta;
    data.PowerFactor = pf + noise(pf * 0.05);
    data.TangentDelta = tanDelta + noise(tanDelta * 0.05);
    data.SineThetaX100 = 100.0 * (sinTheta + noise(sinTheta * 0.05));
  }

  data.ReferencePeak = data.KVoltCalc * 0.85 / params.KVoltMax;
  data.SamplesAveraged += 5;
  data.InputCurrent = data.Amperes * 0.1;
  data.XfmrCurrent = data.Amperes * 0.05;
  data.SpecimenPeak = data.Amperes * 0.5;
  data.SpecimenPeakMax = data.SpecimenPeak;
  data.SpecimenPeakMin = data.Amperes * 0.5 * -0.9;

  state.refMagnitude -= 0.1;
  state.currentMagnitude -= 0.1;
  data.RefVoltageMag = state.refMagnitude;
  data.SpecCurrentMag = state.currentMagnitude;
}

}  // namespace

void SimulateRamp(Q7K_TEST_PARAMS& params) {
  if (params.ManualMode) {
    if (!params.ReverseDone) return;
    if (params.NormRevEnable == NR_NOCHANGE &&
        params.TestPhase == params.NormRevPrevious) {
      params.NormRevEnable = NR_TRANSITION;
      params.VoltageSettling = 1;
    }
    if (params.NormRevEnable == NR_TRANSITION) {
      params.KVolt -= params.KVoltStep;
      if (params.KVolt <= 0) {
        params.KVolt = 0;
        params.NormRevEnable = NR_MIN_VOLT;
      }
    } else if (params.NormRevEnable == NR_MIN_VOLT) {
      params.KVolt += params.KVoltStep;
      if (params.KVolt >= params.KVoltMax) {
        params.KVolt = params.KVoltMax;
        params.VoltageSettling = 0;
        params.NormRevEnable = NR_MAX_VOLT;
      }
    }
    return;
  }
  if (params.TypeOfTest == EXCITATION_TEST) return;
  if (params.TestPhase == NR_REVERSE && params.NormRevStatus == NR_NOCHANGE) {
    params.NormRevStatus = NR_TRANSITION;
    params.VoltageSettling = 1;
  }
  if (params.NormRevStatus == NR_TRANSITION) {
    params.KVolt -= params.KVoltStep;
    if (params.KVolt < 0) {
      params.KVolt = 0;
      params.NormRevStatus = NR_REVERSE;
    }
  } else if (params.NormRevStatus == NR_REVERSE) {
    params.KVolt += params.KVoltStep;
    if (params.KVolt >= params.KVoltMax) {
      params.KVolt = params.KVoltMax;
      params.VoltageSettling = 0;
    }
  }
}

void SimulatedTestResults(SimulatorState& state,
                          const SimulatorSettings& settings,
                          ResultsVariant variant, Q7K_TEST_PARAMS& params,
                          Q7K_TEST_DATA& data, Q7K_THERMAL_DATA& thermal) {
  if (settings.mode == SIMUL_CLIP) SimulateRamp(params);
  data.KVoltMeas = params.KVolt;
  data.KVoltCalc = params.KVolt;
  params.WattsAdjustment = 0.0f;

  const bool skipRanging = settings.mode == SIMUL_CLIP && settings.fast;
  if (!skipRanging && state.simPollCount < kSimulatedRangingPolls) {
    params.Ranging = 1;
    data.SamplesAveraged = 0;
  } else {
    MeasuredValues(state, settings, variant == ResultsVariant::kFull, params,
                   data);
  }

  data.FrequencyMeas = params.Frequency;
  data.VoltageScale = params.VoltageScale;
  thermal.ExtTemperature = RandomInt(15, 25);
  thermal.ExtHumidity = RandomInt(50, 70);
  thermal.ExtSensorInserted = 1;
  if (params.TypeOfTest == EXCITATION_TEST) {
    params.WaitingForVcStable = 0;
    params.WaitingForVcToggle = 0;
  }
  if (params.NormRevStatus != NR_TRANSITION && state.simPollCount < INT32_MAX) {
    ++state.simPollCount;
  }
}

}  // namespace q7k
