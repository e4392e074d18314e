// The simulated measurement: the specimen a start prepares (mode defaults,
// data file, calibration pool), the result polls with their ranging, ramp
// and noise, and the fixed values around them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <tuple>

#include "simulator/noise.h"
#include "simulator/simulated_results.h"
#include "simulator/simulated_start.h"
#include "simulator/simulated_values.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

Q7K_TEST_PARAMS Params() {
  Q7K_TEST_PARAMS params{};
  params.KVolt = params.KVoltMax = 10.0f;
  params.Frequency = 60.0f;
  params.CapModel = params.IndModel = PARALLEL_MODEL;
  params.NormRevStatus = params.NormRevEnable = NR_NOCHANGE;
  return params;
}

// Each test runs in an empty current directory, so "Q7kSimul.dat" is
// absent unless the test writes it.
class SimulatedTest : public ::testing::Test {
 protected:
  void Start(SIMUL_MODE mode, bool fast = true) {
    settings_.mode = mode;
    settings_.fast = fast;
    SimulatedTestStart(state_, settings_, params_,
                       {calResistor_, gain_, phase_});
  }
  void Poll(ResultsVariant variant = ResultsVariant::kReceive) {
    SimulatedTestResults(state_, settings_, variant, params_, data_, thermal_);
  }
  // Starts and polls past the ranging phase.
  void StartMeasuring(SIMUL_MODE mode, bool fast) {
    Start(mode, fast);
    for (int i = 0; i < kSimulatedRangingPolls; ++i) Poll();
  }
  void WriteDataFile(const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(kSimulatorDataFile), text));
  }
  // The parallel specimen found must draw the start's current and watts.
  void ExpectParallelSpecimenConsistent() {
    const SimulatorState& s = state_;
    const double r = s.specResistance;
    const double volts = std::sqrt(s.specWatts * r);
    const double b = 6.28318 * 60.0 * s.specReactive;
    const double amps = volts * std::sqrt(1 / (r * r) + b * b);
    EXPECT_NEAR(amps, s.specCurrent * 0.001, s.specCurrent * 1e-8);
    EXPECT_NEAR(s.specPowerFactor, 100.0 * s.specWatts / (volts * amps), 1e-3);
    EXPECT_NEAR(s.specImpedance, volts / amps, s.specImpedance * 1e-5);
  }

  ScopedTempDir dir_;
  SimulatorState state_;
  SimulatorSettings settings_;
  Q7K_TEST_PARAMS params_ = Params();
  Q7K_TEST_DATA data_{};
  Q7K_THERMAL_DATA thermal_{};
  // The simulated reference values, as stored (0x4992AC1F, 0x476987CD,
  // 0x49ABB9FE, 0x4478906A, 0x459C120D).
  float calResistor_[kRefChannels] = {1201539.875f, 59783.8f, 1406783.75f,
                                      994.25647f, 4994.2563f};
  float gain_[kCoefficients] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  float phase_[kCoefficients] = {};
};

TEST_F(SimulatedTest, StartDefaultsPerModeModelAndDisplay) {
  Start(SIMUL_XREF);
  ExpectParallelSpecimenConsistent();
  EXPECT_EQ(state_.simTestNumber, 1);  // no file, no walk
  Start(SIMUL_EXC);
  ExpectParallelSpecimenConsistent();

  // A series capacitor dissipates the watts in R at the full current.
  params_.CapModel = SERIES_MODEL;
  Start(SIMUL_EXC);
  EXPECT_FLOAT_EQ(state_.specResistance, 2.345 / (4.567e-3 * 4.567e-3));
  EXPECT_GT(state_.specPowerFactor, 0);

  // SIMUL_LEAK: inductive, in parallel with 50000 ohms.
  params_.IndModel = SERIES_MODEL;
  Start(SIMUL_LEAK);
  EXPECT_FLOAT_EQ(state_.specReactive, -0.0008f);
  const double r = 45.67f / (2.345 * 2.345);
  EXPECT_FLOAT_EQ(state_.specResistance, r * 50000 / (r + 50000));
  EXPECT_GT(state_.specPowerFactor, 0);

  // Referred to 10 kV: scaled by the maximum, when there is one.
  params_.DisplayMode = REF_TO_10KV;
  params_.KVoltMax = 5.0f;
  Start(SIMUL_XREF);
  EXPECT_FLOAT_EQ(state_.specCurrent, 4.567f * 0.5);
  EXPECT_FLOAT_EQ(state_.specWatts, 23.45f * 0.25);
  params_.KVoltMax = 0.0f;
  Start(SIMUL_XREF);
  EXPECT_FLOAT_EQ(state_.specCurrent, 4.567f);
}

TEST_F(SimulatedTest, StartUsesTheFileTestsInTurn) {
  WriteDataFile(
      "[SimulExtRef]\n"
      "Test 1=1.5~10~1e-9\n"
      "Test 2=2.5~20~2e-9\n");
  for (float current : {1.5f, 2.5f, 1.5f, 2.5f}) {
    Start(SIMUL_XREF);
    EXPECT_FLOAT_EQ(state_.specCurrent, current);
    EXPECT_FLOAT_EQ(state_.specWatts, current == 1.5f ? 10.0f : 20.0f);
    EXPECT_FLOAT_EQ(state_.specReactive, current == 1.5f ? 1e-9f : 2e-9f);
  }
  // A mode without a section reads nothing and keeps the number.
  Start(SIMUL_EXC);
  EXPECT_EQ(state_.simTestNumber, 3);
  EXPECT_FLOAT_EQ(state_.specCurrent, 4.567f);

  // Partial or zero values.
  WriteDataFile(
      "[SimulExtRef]\nTest 1=3.5~7\n"
      "[SimulLeakReac]\nTest 1=100\n");
  state_.simTestNumber = 1;
  Start(SIMUL_XREF);
  EXPECT_FLOAT_EQ(state_.specCurrent, 3.5f);
  EXPECT_FLOAT_EQ(state_.specWatts, -1.0f);  // no second separator
  EXPECT_FLOAT_EQ(state_.specReactive, 7.777e-10f);
  EXPECT_LT(state_.specPowerFactor, 0);  // negative watts
  EXPECT_GT(state_.specResistance, 0);
  Start(SIMUL_LEAK);
  EXPECT_FLOAT_EQ(state_.specCurrent, 100.0f);
  EXPECT_FLOAT_EQ(state_.specReactive, -0.055f);

  WriteDataFile("[SimulExtRef]\nTest 1=1~1~0\n");  // must not crash
  state_.simTestNumber = 1;
  Start(SIMUL_XREF);
  EXPECT_FLOAT_EQ(state_.specReactive, 0.0f);
}

TEST_F(SimulatedTest, CalibrationSpecimenPerRangeAndBox) {
  for (float& p : phase_) p = 10.0f;  // marker: no correction
  params_.CalTestNum = 1;
  Start(SIMUL_CAL);
  EXPECT_FLOAT_EQ(state_.specReactive, 4.444e-16f);
  EXPECT_NEAR(state_.specPowerFactor, -100.0, 1e-3);  // watts unset: -1
  // Range, box, channel.
  for (auto [n, box, channel] : {std::tuple{3, 0, MRED_RES},
                                 {4, 0, RED_RES},
                                 {6, 1, NBLUE_RES},
                                 {7, 0, BLUE_RES},
                                 {7, 2, NBLUE_RES}}) {
    params_.CalTestNum = static_cast<int16_t>(n);
    settings_.boxType = static_cast<int16_t>(box);
    Start(SIMUL_CAL);
    EXPECT_FLOAT_EQ(state_.specResistance, calResistor_[channel])
        << "range " << n << " box " << box;
  }
  // Guard and loss tests use fixed resistors.
  params_.CalTestNum = 8;
  Start(SIMUL_CAL);
  EXPECT_FLOAT_EQ(state_.specResistance, 1e9 / 2.2f);
  state_.calErrorPair[0] = 0.0f;
  params_.CalTestNum = 9;
  Start(SIMUL_CAL);
  EXPECT_FLOAT_EQ(state_.specResistance, 99999997952.0 / 5.5f);
  // Numbers outside the coefficient tables touch nothing.
  for (float& g : gain_) g = 0.0f;
  for (int16_t n : {0, 11}) {
    params_.CalTestNum = n;
    Start(SIMUL_CAL);
    EXPECT_GT(state_.specResistance, 0) << n;
  }
  for (float g : gain_) EXPECT_EQ(g, 0.0f);
}

TEST_F(SimulatedTest, CalibrationErrorsFromTheFile) {
  WriteDataFile("[SimulCalErrors]\n300 uA=1.5~2.0\n30 mA=4\n");
  phase_[0] = phase_[4] = 10.0f;
  params_.CalTestNum = 1;
  Start(SIMUL_CAL);
  EXPECT_FLOAT_EQ(state_.calErrorPair[0], 1.5f);
  EXPECT_FLOAT_EQ(state_.specResistance, 1.015f * calResistor_[MRED_RES]);
  EXPECT_GT(state_.specReactive, 4.444e-16f);  // the phase error
  // A value without separator keeps the second number.
  params_.CalTestNum = 5;
  Start(SIMUL_CAL);
  EXPECT_FLOAT_EQ(state_.calErrorPair[0], 4.0f);
  EXPECT_FLOAT_EQ(state_.calErrorPair[1], 2.0f);
  EXPECT_FLOAT_EQ(state_.specResistance, 1.04f * calResistor_[RED_RES]);
}

TEST_F(SimulatedTest, CalibrationCoefficientsCorrectTheSpecimen) {
  settings_.runtimeFrequency = 60.0f;
  params_.CalTestNum = 2;
  gain_[1] = 2.0f;
  Start(SIMUL_CAL);
  // Z is divided by the gain; with no phase R follows Z.
  EXPECT_NEAR(state_.specImpedance, calResistor_[MRED_RES] / 2.0, 1.0);
  EXPECT_NEAR(state_.specResistance, state_.specImpedance, 1e-3);
  gain_[1] = 0.0f;  // a zero gain is replaced by 0.01
  Start(SIMUL_CAL);
  EXPECT_FLOAT_EQ(gain_[1], 0.01f);
  EXPECT_NEAR(state_.specImpedance, calResistor_[MRED_RES] * 100.0, 1e3);

  params_.CalTestNum = 1;  // a phase of one degree: the specimen now leads
  phase_[0] = 1.0f;
  Start(SIMUL_CAL);
  EXPECT_NEAR(std::acos(state_.specCosTheta) * 180 / 3.14159265, 1.0, 1e-3);
  EXPECT_LT(state_.specPowerFactor, 0);

  // Driven at the test voltage.
  params_.CalTestNum = 1;
  StartMeasuring(SIMUL_CAL, /*fast=*/true);
  Poll();
  EXPECT_FLOAT_EQ(data_.Amperes, 10.0f * 1000 / state_.specImpedance);
  EXPECT_FLOAT_EQ(data_.Watts, 100.0f * 1e6 / state_.specResistance);
}

TEST_F(SimulatedTest, ExtRefReportsTheDefaultsFromTheEighthPoll) {
  Start(SIMUL_XREF);
  data_.SamplesAveraged = 99;
  for (int poll = 1; poll <= kSimulatedRangingPolls; ++poll) {
    Poll();
    EXPECT_EQ(data_.SamplesAveraged, 0) << poll;
    EXPECT_EQ(data_.Amperes, 0.0f) << poll;
  }
  Poll();
  EXPECT_EQ(params_.Ranging, 0);
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f);
  EXPECT_FLOAT_EQ(data_.ParallelCap, 5.678e-10f);
  EXPECT_EQ(data_.SamplesAveraged, 5);
  EXPECT_FLOAT_EQ(data_.ReferencePeak, 0.85f);
  EXPECT_FLOAT_EQ(data_.SpecimenPeakMin, -0.00205515f);
  EXPECT_FLOAT_EQ(data_.RefVoltageMag, 1.9f);
  Poll(ResultsVariant::kFull);
  EXPECT_FLOAT_EQ(data_.RefVoltageMag, 1.8f);
  EXPECT_EQ(data_.SamplesAveraged, 10);
}

// Fast SIMUL_CLIP skips the ranging polls; every poll reports the ambient
// and ends the voltage-control waits of an excitation test.
TEST_F(SimulatedTest, ClipWithFastReportsAtTheFirstPoll) {
  Start(SIMUL_CLIP);
  params_.WattsAdjustment = 0.5f;
  params_.TypeOfTest = EXCITATION_TEST;
  params_.WaitingForVcToggle = 1;
  params_.WaitingForVcStable = 1;
  Poll();
  EXPECT_EQ(params_.Ranging, 0);
  EXPECT_FLOAT_EQ(data_.Watts, 2.345f);
  EXPECT_EQ(params_.WattsAdjustment, 0.0f);
  EXPECT_EQ(params_.WaitingForVcToggle + params_.WaitingForVcStable, 0);
  EXPECT_GE(thermal_.ExtTemperature, 15.0f);
  EXPECT_LE(thermal_.ExtHumidity, 70.0f);
  EXPECT_EQ(thermal_.ExtSensorInserted, 1);

  Start(SIMUL_CLIP, /*fast=*/false);
  Poll();
  EXPECT_EQ(params_.Ranging, 1);
}

TEST_F(SimulatedTest, VoltageScaling) {
  params_.KVolt = 5.0f;
  StartMeasuring(SIMUL_XREF, /*fast=*/true);
  Poll();
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f * 0.5f);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f * 0.25f);
  // The quiet full variant reports full-voltage values from SIMUL_XREF on.
  Poll(ResultsVariant::kFull);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f);
  StartMeasuring(SIMUL_EXC, /*fast=*/true);
  Poll(ResultsVariant::kFull);
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f * 0.5f);

  params_.DisplayMode = REF_TO_10KV;
  StartMeasuring(SIMUL_XREF, /*fast=*/true);
  Poll();
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f);
  EXPECT_FLOAT_EQ(data_.ReferencePeak, 0.425f);

  params_.KVolt = 0.0f;  // nothing to divide by: no component values
  StartMeasuring(SIMUL_EXC, /*fast=*/false);
  Poll();
  EXPECT_EQ(data_.Amperes, 0.0f);
  EXPECT_EQ(data_.PowerFactor, 0.0f);
  EXPECT_EQ(data_.ParallelCap, 0.0f);
  EXPECT_EQ(data_.SeriesRes, 0.0f);
}

// Noise within its bounds, except in the full variant and once averaging
// is complete.
TEST_F(SimulatedTest, NoiseAndQuietPolls) {
  StartMeasuring(SIMUL_EXC, /*fast=*/false);
  bool sawNoise = false;
  for (int i = 0; i < 200; ++i) {
    Poll();
    ASSERT_LE(std::fabs(data_.Amperes - 4.567e-3), 4.567 * 5e-5 + 1e-9);
    ASSERT_LE(std::fabs(data_.Watts - 2.345f), 2.345f * 0.05 + 1e-6);
    sawNoise |= data_.Watts != 2.345f;
  }
  EXPECT_TRUE(sawNoise);
  for (int i = 0; i < 20; ++i) {
    Poll(ResultsVariant::kFull);
    ASSERT_FLOAT_EQ(data_.Watts, 2.345f);
  }

  params_.FilterType = LOWPASS_AVERAGED;
  params_.SamplesToAvg = 15;
  params_.KVolt = 5.0f;
  StartMeasuring(SIMUL_LEAK, /*fast=*/false);
  Poll();  // SamplesAveraged 0 -> 5
  Poll();  // 5 -> 10
  Poll();  // 10 >= 15 - 5: complete, quiet and at full voltage
  EXPECT_EQ(data_.SamplesAveraged, 15);
  EXPECT_FLOAT_EQ(data_.Watts, 45.67f);
  // The inductance is reported as series values too.
  EXPECT_FLOAT_EQ(data_.ParallelInd, 0.0008f);
  EXPECT_FLOAT_EQ(data_.SeriesInd, -0.0008f);
  EXPECT_FLOAT_EQ(data_.SeriesRes, state_.specResistance);
}

TEST_F(SimulatedTest, ReverseRampDownAndUp) {
  params_.TestPhase = NR_REVERSE;
  params_.KVoltStep = 4.0f;
  Start(SIMUL_CLIP);
  struct Step {
    float kVolt;
    NORM_REV status;
    int16_t settling;
    int32_t polls;  // the transition does not count
  } expected[] = {{6, NR_TRANSITION, 1, 0}, {2, NR_TRANSITION, 1, 0},
                  {0, NR_REVERSE, 1, 1},    {4, NR_REVERSE, 1, 2},
                  {8, NR_REVERSE, 1, 3},    {10, NR_REVERSE, 0, 4},
                  {10, NR_REVERSE, 0, 5}};
  for (const Step& step : expected) {
    Poll();
    EXPECT_FLOAT_EQ(data_.KVoltMeas, step.kVolt);
    EXPECT_EQ(params_.NormRevStatus, step.status);
    EXPECT_EQ(params_.VoltageSettling, step.settling);
    EXPECT_EQ(state_.simPollCount, step.polls);
  }
}

TEST(SimulateRampTest, ManualReverseRunsToMaximum) {
  Q7K_TEST_PARAMS params = Params();
  params.ManualMode = -1;
  params.TestPhase = NR_REVERSE;
  params.NormRevPrevious = NR_REVERSE;
  params.KVoltStep = 5.0f;
  SimulateRamp(params);  // nothing moves before the reverse is done
  EXPECT_EQ(params.NormRevEnable, NR_NOCHANGE);

  params.ReverseDone = -1;
  SimulateRamp(params);
  EXPECT_EQ(params.NormRevEnable, NR_TRANSITION);
  EXPECT_FLOAT_EQ(params.KVolt, 5.0f);
  SimulateRamp(params);  // exactly 0 ends the way down
  EXPECT_EQ(params.NormRevEnable, NR_MIN_VOLT);
  for (int i = 0; i < 3; ++i) SimulateRamp(params);
  EXPECT_FLOAT_EQ(params.KVolt, 10.0f);
  EXPECT_EQ(params.NormRevEnable, NR_MAX_VOLT);
  EXPECT_EQ(params.VoltageSettling, 0);

  params = Params();  // an excitation test never ramps
  params.TypeOfTest = EXCITATION_TEST;
  params.TestPhase = NR_REVERSE;
  SimulateRamp(params);
  EXPECT_EQ(params.NormRevStatus, NR_NOCHANGE);
}

TEST(NoiseTest, FastQuietOutOfRangeAndNonNumbersDrawNothing) {
  std::srand(11);
  const int first = std::rand();
  std::srand(11);
  EXPECT_EQ(Noise(5.0, /*quiet=*/false, /*fast=*/true), 0.0);
  EXPECT_EQ(Noise(5.0, /*quiet=*/true, /*fast=*/false), 0.0);
  EXPECT_EQ(Noise(1e-17, false, false), 0.0);
  EXPECT_EQ(Noise(-2e16, false, false), 0.0);
  EXPECT_EQ(Noise(std::numeric_limits<double>::quiet_NaN(), false, false), 0.0);
  // Nothing drawn: RandomInt gets the first number of the sequence.
  EXPECT_EQ(RandomInt(15, 25), 15 + first % 11);
  EXPECT_EQ(RandomInt(4, 3), 4);
}

// Draws are bounded by |a| and have two significant digits at most.
TEST(NoiseTest, BoundedAndOnTheScaledGrid) {
  std::srand(3);
  for (double a : {0.37, -12345.0, 1.17e-12}) {
    const double grid =
        std::pow(10.0, std::floor(std::log10(std::fabs(a))) - 1);
    bool sawNonZero = false;
    for (int i = 0; i < 2000; ++i) {
      const double n = Noise(a, false, false);
      ASSERT_LE(std::fabs(n), std::fabs(a) * (1 + 1e-12)) << a;
      ASSERT_NEAR(n / grid, std::round(n / grid), 1e-6) << a;
      sawNonZero |= n != 0.0;
    }
    EXPECT_TRUE(sawNonZero) << a;
  }
}

// The fast thermal values are the component's to read back.
TEST(SimulatedValuesTest, ThermalValuesShareOneNoiseOffset) {
  Q7K_THERMAL_DATA thermal{};
  thermal.HeatingStatus = 3;
  thermal.OvertempVal = 99.0f;
  SimulatedThermalData(/*fast=*/true, thermal);
  EXPECT_FLOAT_EQ(thermal.ExtHumidity, 63.0f);
  EXPECT_FLOAT_EQ(thermal.XfmrCurrent, 55.7f);
  EXPECT_FLOAT_EQ(thermal.CalRefTemp, 49.8f);
  EXPECT_EQ(thermal.HeatingStatus, 3);  // not reported: left alone
  EXPECT_EQ(thermal.OvertempVal, 99.0f);

  for (int i = 0; i < 50; ++i) {
    SimulatedThermalData(/*fast=*/false, thermal);
    const double n = thermal.ExtTemperature - 28.5;
    ASSERT_LE(std::fabs(n), 0.7 + 1e-6);
    ASSERT_NEAR(thermal.CalRefTemp - 49.8, n, 1e-5);
  }
}

TEST_F(SimulatedTest, CalibrationInfoAndReferenceValues) {
  int16_t done[kCalBlocks] = {};
  char dates[kCalBlocks][kCalDateSlot];
  std::memset(dates, 'x', sizeof dates);
  StoreSimulatedCalInfo(done, dates);
  for (int block = 0; block < kCalBlocks; ++block) {
    EXPECT_EQ(done[block], 1);
    EXPECT_STREQ(dates[block], "09/02/97");
    EXPECT_EQ(dates[block][kCalDateSlot - 1], '\0');
  }

  float resistor[kRefChannels];
  float pole[kRefChannels];
  std::memset(pole, 0xFF, sizeof pole);
  StoreSimulatedReferenceValues(resistor, pole);
  for (int i = 0; i < kRefChannels; ++i) {
    EXPECT_EQ(resistor[i], calResistor_[i]) << i;
  }
  EXPECT_EQ(pole[MAIN_RES], -70321.3671875f);  // 0xC78958AF
  EXPECT_EQ(pole[NBLUE_RES], 0.0f);            // written over the NaN fill
}

}  // namespace
}  // namespace q7k
