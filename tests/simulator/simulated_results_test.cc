#include "simulator/simulated_results.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "simulator/noise.h"
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
  params.VoltageScale = 3;
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
  void PollPastRanging(ResultsVariant variant = ResultsVariant::kReceive) {
    for (int i = 0; i < kSimulatedRangingPolls; ++i) Poll(variant);
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
    EXPECT_EQ(state_.simPollCount, poll);
  }
  Poll();
  EXPECT_EQ(params_.Ranging, 0);
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f);
  EXPECT_FLOAT_EQ(data_.KVoltMeas, 10.0f);
  EXPECT_FLOAT_EQ(data_.KVoltCalc, 10.0f);
  EXPECT_EQ(data_.SamplesAveraged, 5);
  EXPECT_FLOAT_EQ(data_.ReferencePeak, 0.85f);
  EXPECT_FLOAT_EQ(data_.InputCurrent, 0.0004567f);
  EXPECT_FLOAT_EQ(data_.XfmrCurrent, 0.00022835f);
  EXPECT_FLOAT_EQ(data_.SpecimenPeak, 0.0022835f);
  EXPECT_FLOAT_EQ(data_.SpecimenPeakMax, 0.0022835f);
  EXPECT_FLOAT_EQ(data_.SpecimenPeakMin, -0.00205515f);
  EXPECT_FLOAT_EQ(data_.RefVoltageMag, 1.9f);
  EXPECT_FLOAT_EQ(data_.SpecCurrentMag, 1.9f);
  EXPECT_FLOAT_EQ(data_.PowerFactor, state_.specPowerFactor);
  EXPECT_FLOAT_EQ(data_.SineThetaX100, 100 * state_.specSinTheta);
  EXPECT_FLOAT_EQ(data_.ParallelCap, 5.678e-10f);
  EXPECT_FLOAT_EQ(data_.ParallelRes, state_.specResistance);
  EXPECT_FLOAT_EQ(data_.FrequencyMeas, 60.0f);
  EXPECT_EQ(data_.VoltageScale, 3);

  Poll(ResultsVariant::kFull);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f);
  EXPECT_FLOAT_EQ(data_.RefVoltageMag, 1.8f);
  EXPECT_EQ(data_.SamplesAveraged, 10);
}

TEST_F(SimulatedResultsTest, EveryPollReportsFrequencyAndAmbient) {
  Start(SIMUL_EXC, /*fast=*/true);
  params_.WattsAdjustment = 0.5f;
  params_.TypeOfTest = EXCITATION_TEST;
  params_.WaitingForVcToggle = 1;
  params_.WaitingForVcStable = 1;
  Poll();
  EXPECT_EQ(params_.Ranging, 1);
  EXPECT_EQ(params_.WattsAdjustment, 0.0f);
  EXPECT_EQ(params_.WaitingForVcToggle, 0);
  EXPECT_EQ(params_.WaitingForVcStable, 0);
  EXPECT_FLOAT_EQ(data_.FrequencyMeas, 60.0f);
  EXPECT_GE(thermal_.ExtTemperature, 15.0f);
  EXPECT_LE(thermal_.ExtTemperature, 25.0f);
  EXPECT_EQ(thermal_.ExtTemperature, std::floor(thermal_.ExtTemperature));
  EXPECT_GE(thermal_.ExtHumidity, 50.0f);
  EXPECT_LE(thermal_.ExtHumidity, 70.0f);
  EXPECT_EQ(thermal_.ExtSensorInserted, 1);
}

TEST_F(SimulatedResultsTest, ClipWithFastReportsAtTheFirstPoll) {
  Start(SIMUL_CLIP, /*fast=*/true);
  Poll();
  EXPECT_EQ(params_.Ranging, 0);
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f);
  EXPECT_FLOAT_EQ(data_.Watts, 2.345f);

  Start(SIMUL_CLIP, /*fast=*/false);
  Poll();
  EXPECT_EQ(params_.Ranging, 1);
}

TEST_F(SimulatedResultsTest, PartialVoltageScalesUntilFullVariant) {
  params_.KVolt = 5.0f;
  Start(SIMUL_XREF, /*fast=*/true);
  PollPastRanging();
  Poll();
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f * 0.5f);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f * 0.25f);
  // The quiet full variant reports full-voltage values from SIMUL_XREF on.
  Poll(ResultsVariant::kFull);
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f);

  Start(SIMUL_EXC, /*fast=*/true);
  PollPastRanging();
  Poll(ResultsVariant::kFull);
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f * 0.5f);
}

TEST_F(SimulatedResultsTest, ReferredTo10kV) {
  params_.KVolt = 5.0f;
  params_.DisplayMode = REF_TO_10KV;
  Start(SIMUL_XREF, /*fast=*/true);
  PollPastRanging();
  Poll();
  EXPECT_FLOAT_EQ(data_.Amperes, 0.004567f);
  EXPECT_FLOAT_EQ(data_.Watts, 23.45f);
  EXPECT_FLOAT_EQ(data_.ReferencePeak, 0.425f);
}

TEST_F(SimulatedResultsTest, ZeroVoltageReportsNoComponentValues) {
  params_.KVolt = 0.0f;
  Start(SIMUL_EXC, /*fast=*/false);
  PollPastRanging();
  Poll();
  EXPECT_EQ(data_.Amperes, 0.0f);
  EXPECT_EQ(data_.PowerFactor, 0.0f);
  EXPECT_EQ(data_.TangentDelta, 0.0f);
  EXPECT_EQ(data_.SineThetaX100, 0.0f);
  EXPECT_EQ(data_.ParallelCap, 0.0f);
  EXPECT_EQ(data_.SeriesRes, 0.0f);
}

TEST_F(SimulatedResultsTest, NoiseStaysWithinItsBounds) {
  Start(SIMUL_EXC, /*fast=*/false);
  PollPastRanging();
  bool sawNoise = false;
  for (int i = 0; i < 200; ++i) {
    Poll();
    const double amps = 4.567f * 0.001;
    ASSERT_LE(std::fabs(data_.Amperes - amps), 4.567f * 5e-5 + 1e-9);
    ASSERT_LE(std::fabs(data_.Watts - 2.345f), 2.345f * 0.05 + 1e-6);
    const float pf = state_.specPowerFactor;
    ASSERT_LE(std::fabs(data_.PowerFactor - pf), std::fabs(pf) * 0.05 + 1e-6);
    sawNoise |= data_.Watts != 2.345f;
  }
  EXPECT_TRUE(sawNoise);
}

TEST_F(SimulatedResultsTest, FullVariantIsQuietEvenWhenNotFast) {
  Start(SIMUL_XREF, /*fast=*/false);
  PollPastRanging(ResultsVariant::kFull);
  for (int i = 0; i < 20; ++i) {
    Poll(ResultsVariant::kFull);
    ASSERT_FLOAT_EQ(data_.Watts, 23.45f);
    ASSERT_FLOAT_EQ(data_.PowerFactor, state_.specPowerFactor);
  }
}

TEST_F(SimulatedResultsTest, CompletedAveragingIsQuiet) {
  params_.FilterType = LOWPASS_AVERAGED;
  params_.SamplesToAvg = 15;
  params_.KVolt = 5.0f;
  Start(SIMUL_LEAK, /*fast=*/false);
  PollPastRanging();
  Poll();  // SamplesAveraged 0 -> 5
  Poll();  // 5 -> 10
  Poll();  // 10 >= 15 - 5: complete, quiet and at full voltage
  EXPECT_EQ(data_.SamplesAveraged, 15);
  EXPECT_FLOAT_EQ(data_.Amperes, 2.345f);
  EXPECT_FLOAT_EQ(data_.Watts, 45.67f);
}

// With a seeded generator the poll draws its noise in a fixed order:
// current, watts, capacitance, inductance, resistance, power factor,
// dissipation factor, sine, then the ambient temperature and humidity.
TEST_F(SimulatedResultsTest, NoiseIsDrawnInAFixedOrder) {
  params_.CapModel = SERIES_MODEL;
  Start(SIMUL_EXC, /*fast=*/false);
  PollPastRanging();
  std::srand(1234);
  Poll();

  std::srand(1234);
  const SimulatorState& s = state_;
  const double amps =
      s.specCurrent * 0.001 + Noise(s.specCurrent * 5e-5, false, false);
  const double watts = s.specWatts + Noise(s.specWatts * 0.05, false, false);
  const double omega = 6.28318 * 60.0;
  double cx = s.specReactive;
  double lx = -1.0 / (omega * omega * s.specReactive);
  cx += Noise(cx * 0.05, false, false);
  lx += Noise(lx * 0.05, false, false);
  const double rx =
      s.specResistance + Noise(s.specResistance * 0.05, false, false);
  const double pf =
      s.specPowerFactor + Noise(s.specPowerFactor * 0.05, false, false);
  const double td = s.specTanDelta + Noise(s.specTanDelta * 0.05, false, false);
  const double sine =
      s.specSinTheta + Noise(s.specSinTheta * 0.05, false, false);
  const int temperature = RandomInt(15, 25);
  const int humidity = RandomInt(50, 70);

  EXPECT_FLOAT_EQ(data_.Amperes, amps);
  EXPECT_FLOAT_EQ(data_.Watts, watts);
  EXPECT_FLOAT_EQ(data_.SeriesCap, cx);
  EXPECT_FLOAT_EQ(data_.SeriesInd, lx);
  EXPECT_FLOAT_EQ(data_.SeriesRes, rx);
  EXPECT_FLOAT_EQ(data_.PowerFactor, pf);
  EXPECT_FLOAT_EQ(data_.TangentDelta, td);
  EXPECT_FLOAT_EQ(data_.SineThetaX100, 100 * sine);
  EXPECT_EQ(thermal_.ExtTemperature, temperature);
  EXPECT_EQ(thermal_.ExtHumidity, humidity);
}

TEST_F(SimulatedResultsTest, LeakReportsTheInductanceAsSeriesValues) {
  Start(SIMUL_LEAK, /*fast=*/true);
  PollPastRanging();
  Poll();
  EXPECT_FLOAT_EQ(data_.Amperes, 2.345f);
  EXPECT_FLOAT_EQ(data_.ParallelInd, 0.0008f);
  EXPECT_FLOAT_EQ(data_.SeriesInd, -0.0008f);
  EXPECT_FLOAT_EQ(data_.SeriesRes, state_.specResistance);
  EXPECT_FLOAT_EQ(data_.ParallelRes, state_.specResistance);
  EXPECT_LT(state_.specResistance, 50000.0f);
}

TEST_F(SimulatedResultsTest, CalibrationSpecimenDrivenAtTheTestVoltage) {
  params_.CalTestNum = 1;
  settings_.runtimeFrequency = 60.0f;
  Start(SIMUL_CAL, /*fast=*/true);
  PollPastRanging();
  Poll();
  EXPECT_FLOAT_EQ(data_.Amperes, 10.0f * 1000 / state_.specImpedance);
  EXPECT_FLOAT_EQ(data_.Watts, 100.0f * 1e6 / state_.specResistance);
  EXPECT_LT(data_.PowerFactor, 0);
}

TEST_F(SimulatedResultsTest, ReverseRampDownAndUp) {
  params_.TestPhase = NR_REVERSE;
  params_.KVoltStep = 4.0f;
  Start(SIMUL_CLIP, /*fast=*/true);
  struct Step {
    float kVolt;
    NORM_REV status;
    int16_t settling;
    int32_t polls;
  } expected[] = {{6, NR_TRANSITION, 1, 0}, {2, NR_TRANSITION, 1, 0},
                  {0, NR_REVERSE, 1, 1},    {4, NR_REVERSE, 1, 2},
                  {8, NR_REVERSE, 1, 3},    {10, NR_REVERSE, 0, 4},
                  {10, NR_REVERSE, 0, 5}};
  for (const Step& step : expected) {
    Poll();
    EXPECT_FLOAT_EQ(params_.KVolt, step.kVolt);
    EXPECT_FLOAT_EQ(data_.KVoltMeas, step.kVolt);
    EXPECT_EQ(params_.NormRevStatus, step.status);
    EXPECT_EQ(params_.VoltageSettling, step.settling);
    EXPECT_EQ(state_.simPollCount, step.polls);
  }
}

TEST(SimulateRampTest, ManualReverseRunsToMaximum) {
  Q7K_TEST_PARAMS params = Params();
  params.ManualMode = -1;
  params.ReverseDone = -1;
  params.TestPhase = NR_REVERSE;
  params.NormRevPrevious = NR_REVERSE;
  params.KVoltStep = 5.0f;
  SimulateRamp(params);
  EXPECT_EQ(params.NormRevEnable, NR_TRANSITION);
  EXPECT_EQ(params.VoltageSettling, 1);
  EXPECT_FLOAT_EQ(params.KVolt, 5.0f);
  SimulateRamp(params);  // exactly 0 ends the way down
  EXPECT_FLOAT_EQ(params.KVolt, 0.0f);
  EXPECT_EQ(params.NormRevEnable, NR_MIN_VOLT);
  SimulateRamp(params);
  EXPECT_FLOAT_EQ(params.KVolt, 5.0f);
  SimulateRamp(params);
  EXPECT_FLOAT_EQ(params.KVolt, 10.0f);
  EXPECT_EQ(params.NormRevEnable, NR_MAX_VOLT);
  EXPECT_EQ(params.VoltageSettling, 0);
  SimulateRamp(params);
  EXPECT_FLOAT_EQ(params.KVolt, 10.0f);
}

TEST(SimulateRampTest, NothingMovesWithoutAReverseRequest) {
  Q7K_TEST_PARAMS params = Params();
  params.ManualMode = -1;  // reverse not done
  params.TestPhase = NR_REVERSE;
  SimulateRamp(params);
  EXPECT_EQ(params.NormRevEnable, NR_NOCHANGE);

  params = Params();
  params.TypeOfTest = EXCITATION_TEST;
  params.TestPhase = NR_REVERSE;
  SimulateRamp(params);
  EXPECT_EQ(params.NormRevStatus, NR_NOCHANGE);

  params = Params();
  params.TestPhase = NR_NORMAL;
  SimulateRamp(params);
  EXPECT_EQ(params.NormRevStatus, NR_NOCHANGE);
  EXPECT_FLOAT_EQ(params.KVolt, 10.0f);
}

}  // namespace
}  // namespace q7k
