#include "simulator/simulated_start.h"

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "simulator/profile_reader.h"
#include "simulator/simulator_file.h"

namespace q7k {
namespace {

constexpr double kTwoPi = 6.28318;
constexpr double kDegreesToRadians = 0.017453277;
constexpr float kUnset = -1.0f;
constexpr double kTinyCapacitance = 4.444e-16;
constexpr double kLeakParallelOhms = 50000.0;

struct Specimen {
  float current;
  float watts;
  float reactive;
};

Specimen DefaultSpecimen(SIMUL_MODE mode) {
  switch (mode) {
    case SIMUL_LEAK:
      return {2345.0f, 45.67f, -0.0008f};
    case SIMUL_XREF:
    case SIMUL_BHT:
      return {4.567f, 23.45f, 5.678e-10f};
    default:
      return {4.567f, 2.345f, 6.789e-10f};
  }
}

bool IsSeries(float c, const Q7K_TEST_PARAMS& params) {
  return (c > 0 && params.CapModel == SERIES_MODEL) ||
         (c < 0 && params.IndModel == SERIES_MODEL);
}

// The parallel model's derived values from R, C and (when Y is not 0) Z.
void DeriveParallel(SimulatorState& state, double omega) {
  const float r = state.specResistance;
  const float c = state.specReactive;
  const double b = c < 0 ? 1.0 / (omega * -c) : omega * c;
  state.specPowerFactor = 100.0 * state.specImpedance / r;
  state.specTanDelta = 1.0 / (b * r);
  state.specSinTheta = b * state.specImpedance;
  state.specCosTheta = state.specImpedance / r;
}

double ParallelImpedanceOr(double current, float r, float c, double omega) {
  const double b = c < 0 ? 1.0 / (omega * -c) : omega * c;
  const double y = std::sqrt(1.0 / (static_cast<double>(r) * r) + b * b);
  return y != 0 ? 1.0 / y : current;
}

void DeriveValues(SimulatorState& state, const Q7K_TEST_PARAMS& params,
                  double omega) {
  const float r = state.specResistance;
  const float c = state.specReactive;
  if (IsSeries(c, params)) {
    const double x = c < 0 ? omega * -c : 1.0 / (omega * c);
    state.specImpedance = std::sqrt(static_cast<double>(r) * r + x * x);
    state.specPowerFactor = 100.0 * r / state.specImpedance;
    state.specTanDelta = r / x;
    state.specSinTheta = x / state.specImpedance;
    state.specCosTheta = r / state.specImpedance;
  } else {
    state.specImpedance = ParallelImpedanceOr(state.specImpedance, r, c, omega);
    DeriveParallel(state, omega);
  }
  if (state.specWatts < 0) state.specPowerFactor *= -1.0;
}

// The file's value for this start, or empty; walks state.simTestNumber.
std::string ReadSpecimenValue(SimulatorState& state,
                              const SimulatorSettings& settings) {
  const std::string section = SimulatorSection(settings.mode);
  if (section.empty()) return {};
  std::optional<ProfileFile> file = ProfileFile::Load(settings.dataFile);
  if (!file) return {};
  return ReadSimulatorTestValue(*file, section, &state.simTestNumber);
}

void TakeFileSpecimen(SimulatorState& state, const std::string& value) {
  const std::vector<std::string_view> fields = SplitSimulatorValue(value);
  state.specCurrent = SimulatorNumber(fields[0]);
  if (fields.size() >= 3) {
    state.specWatts = SimulatorNumber(fields[1]);
    state.specReactive = SimulatorNumber(fields[2]);
  }
}

void ComputeResistance(SimulatorState& state, const SimulatorSettings& settings,
                       const Q7K_TEST_PARAMS& params) {
  const float current = state.specCurrent;
  const float watts = state.specWatts;
  const float c = state.specReactive;
  const double i = current * 0.001;
  const double omega = kTwoPi * params.Frequency;
  const double x2 = 1.0 / (static_cast<double>(c) * c * omega * omega);
  if (IsSeries(c, params)) {
    state.specResistance = watts / (i * i);
  } else {
    const double u = x2 * i * i / watts;
    double discriminant = u * u - 4.0 * x2;
    if (!(discriminant > 0.0)) discriminant = 0.0;
    state.specResistance = (u + std::sqrt(discriminant)) / 2.0;
  }
  if (state.specResistance <= 0) state.specResistance = -state.specResistance;
  if (state.specReactive == kUnset) {
    state.specReactive = settings.mode == SIMUL_LEAK ? -0.055f : 7.777e-10f;
  }
  if (settings.mode == SIMUL_LEAK) {
    state.specResistance = state.specResistance * kLeakParallelOhms /
                           (state.specResistance + kLeakParallelOhms);
  }
}

// Takes the range's error pair from the file; what the file does not give
// keeps its previous value.
void ReadCalibrationErrors(SimulatorState& state,
                           const SimulatorSettings& settings, int32_t n) {
  const std::string key = CalibrationErrorKey(n);
  if (key.empty()) return;
  std::optional<ProfileFile> file = ProfileFile::Load(settings.dataFile);
  if (!file) return;
  const std::string value = file->GetString(CalibrationErrorSection(), key);
  if (value.empty()) return;
  const std::vector<std::string_view> fields = SplitSimulatorValue(value);
  state.calErrorPair[0] = SimulatorNumber(fields[0]);
  if (fields.size() >= 2) state.calErrorPair[1] = SimulatorNumber(fields[1]);
}

float BaseResistance(int32_t n, int16_t boxType,
                     const float (&calResistor)[kRefChannels]) {
  if (n < 4) return calResistor[MRED_RES];
  if (n <= 5) return calResistor[RED_RES];
  if (n == 6) return calResistor[boxType == 0 ? RED_RES : NBLUE_RES];
  return calResistor[boxType == 0 ? BLUE_RES : NBLUE_RES];
}

void StartCalibrationSpecimen(SimulatorState& state,
                              const SimulatorSettings& settings,
                              const Q7K_TEST_PARAMS& params,
                              const SimulatorCalPool& pool) {
  const int32_t n = params.CalTestNum;
  const double omega = kTwoPi * params.Frequency;
  ReadCalibrationErrors(state, settings, n);
  float& ea = state.calErrorPair[0];
  const float eb = state.calErrorPair[1];
  if (n == 8) {
    if (ea == 0) ea = 2.2f;
    state.specResistance = 1e9 / ea;
    state.specReactive = 0.0f;
  } else if (n >= 9) {
    if (ea == 0) ea = 5.5f;
    state.specResistance = 99999997952.0 / ea;
    state.specReactive = 0.0f;
  } else {
    const float base = BaseResistance(n, settings.boxType, pool.calResistor);
    state.specResistance = (1 + 0.01 * ea) * base;
    state.specReactive =
        std::tan(std::asin(0.01 * eb)) / (omega * state.specResistance) +
        kTinyCapacitance;
  }
  state.specImpedance = ParallelImpedanceOr(
      state.specImpedance, state.specResistance, state.specReactive, omega);
  if (n >= 1 && n <= kCoefficients) {
    float& gain = pool.gainCoeffs[n - 1];
    const float phase = pool.phaseCoeffs[n - 1];
    const double phi = phase * kDegreesToRadians;
    const double omegaRun = kTwoPi * settings.runtimeFrequency;
    const double theta =
        std::atan(omegaRun * state.specReactive * state.specResistance);
    if (gain == 0) gain = 0.01f;
    if (gain < 10 && phase < 10) {
      state.specImpedance = state.specImpedance / gain;
      const double cosine = std::cos(theta + phi);
      if (cosine != 0) state.specResistance = state.specImpedance / cosine;
      state.specReactive =
          std::sin(theta + phi) / (omegaRun * state.specImpedance);
      if (state.specReactive == 0) state.specReactive = kTinyCapacitance;
    }
  }
  DeriveParallel(state, omega);
  if (state.specWatts < 0) state.specPowerFactor *= -1.0;
}

}  // namespace

void SimulatedTestStart(SimulatorState& state,
                        const SimulatorSettings& settings,
                        const Q7K_TEST_PARAMS& params,
                        const SimulatorCalPool& pool) {
  state.specCurrent = kUnset;
  state.specWatts = kUnset;
  state.specReactive = kUnset;
  state.specResistance = kUnset;
  state.specImpedance = kUnset;
  state.specPowerFactor = kUnset;
  state.specTanDelta = kUnset;
  state.specSinTheta = kUnset;
  state.specCosTheta = kUnset;
  state.refMagnitude = 2.0f;
  state.currentMagnitude = 2.0f;
  state.simPollCount = 0;

  if (settings.mode == SIMUL_CAL) {
    StartCalibrationSpecimen(state, settings, params, pool);
    return;
  }
  const std::string value = ReadSpecimenValue(state, settings);
  if (!value.empty()) {
    TakeFileSpecimen(state, value);
  } else {
    const Specimen specimen = DefaultSpecimen(settings.mode);
    state.specCurrent = specimen.current;
    state.specWatts = specimen.watts;
    state.specReactive = specimen.reactive;
  }
  if (params.DisplayMode == REF_TO_10KV && params.KVoltMax != 0) {
    const double k = params.KVoltMax * 0.1;
    state.specCurrent = state.specCurrent * k;
    state.specWatts = state.specWatts * k * k;
  }
  ComputeResistance(state, settings, params);
  DeriveValues(state, params, kTwoPi * params.Frequency);
}

}  // namespace q7k
