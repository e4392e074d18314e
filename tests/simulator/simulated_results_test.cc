#include "simulator/simulated_results.h"

#include <gtest/gtest.h>

#include <cmath>

#include "simulator/simulated_start.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

Q7K_TEST_PARAMS Params() {
  Q7K_TEST_PARAMS params{};
  params.KVolt = 10.0f;
  params.KVoltMax = 10.0f;
  params.Frequency = 60.0f;
  params.CapModel = PARALLEL_MODEL;
  params.IndModel = PARALLEL_MODEL;
  params.NormRevStatus = NR_NOCHANGE;
  params.NormRevEnable = NR_NOCHANGE;
  return params;
}

// Runs in an empty current directory: no simulator data file.
class SimulatedResultsTest : public ::testing::Test {
 protected:
  void Start(SIMUL_MODE mode, bool fast) {
    settings_.mode = mode;
    settings_.fast = fast;
    SimulatedTestStart(state_, settings_, params_, {resistor_, gain_, phase_});
  }
  void Poll(ResultsVariant variant = ResultsVariant::kReceive) {
    SimulatedTestResults(state_, settings_, variant, params_, data_, thermal_);
  }
  // Starts and polls past the ranging phase.
  void StartMeasuring(SIMUL_MODE mode, bool fast) {
    Start(mode, fast);
    for (int i = 0; i < kSimulatedRangingPolls; ++i) Poll();
  }

  ScopedTempDir dir_;
  SimulatorState state_;
  SimulatorSettings settings_;
  Q7K_TEST_PARAMS params_ = Params();
  Q7K_TEST_DATA data_{};
  Q7K_THERMAL_DATA thermal_{};
  float resistor_[kRefChannels] = {1e6f, 6e4f, 1.4e6f, 994.0f, 4994.0f};
  float gain_[kCoefficients] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  float phase_[kCoefficients] = {};
};

TEST_F(SimulatedResultsTest, ExtRefReportsTheDefaultsFromTheEighthPoll) {
  Start(SIMUL_XREF, /*fast=*/true);
  data_.SamplesAveraged = 99;
  for (int poll = 1; poll <= kSimulatedRangingPolls; ++poll) {
    Poll();
    EXPECT_EQ(params_.Ranging, 1) << poll;
    EXPECT_EQ(data_.SamplesAveraged, 0) << poll;
    EXPECT_EQ(data_.Amperes, 0.0f) << poll;
  }
  Poll();
  EXPECT_EQ(params_.Ranging, 0);
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f);
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
TEST_F(SimulatedResultsTest, ClipWithFastReportsAtTheFirstPoll) {
  Start(SIMUL_CLIP, /*fast=*/true);
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

TEST_F(SimulatedResultsTest, VoltageScaling) {
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
TEST_F(SimulatedResultsTest, NoiseAndQuietPolls) {
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

TEST_F(SimulatedResultsTest, CalibrationSpecimenDrivenAtTheTestVoltage) {
  params_.CalTestNum = 1;
  settings_.runtimeFrequency = 60.0f;
  StartMeasuring(SIMUL_CAL, /*fast=*/true);
  Poll();
  EXPECT_FLOAT_EQ(data_.Amperes, 10.0f * 1000 / state_.specImpedance);
  EXPECT_FLOAT_EQ(data_.Watts, 100.0f * 1e6 / state_.specResistance);
}

TEST_F(SimulatedResultsTest, ReverseRampDownAndUp) {
  params_.TestPhase = NR_REVERSE;
  params_.KVoltStep = 4.0f;
  Start(SIMUL_CLIP, /*fast=*/true);
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

}  // namespace
}  // namespace q7k
