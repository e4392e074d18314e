#include "simulator/simulated_start.h"

#include <gtest/gtest.h>

#include <cmath>

#include "simulator/simulated_values.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

constexpr double kOmega60 = 6.28318 * 60.0;

Q7K_TEST_PARAMS Params() {
  Q7K_TEST_PARAMS params{};
  params.KVolt = 10.0f;
  params.KVoltMax = 10.0f;
  params.Frequency = 60.0f;
  params.CapModel = PARALLEL_MODEL;
  params.IndModel = PARALLEL_MODEL;
  return params;
}

// Each test runs in an empty current directory, so "Q7kSimul.dat" is
// absent unless the test writes it.
class SimulatedStartTest : public ::testing::Test {
 protected:
  void Start(SIMUL_MODE mode, const Q7K_TEST_PARAMS& params) {
    settings_.mode = mode;
    SimulatedTestStart(state_, settings_, params,
                       {calResistor_, gain_, phase_});
  }
  void WriteDataFile(const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(kSimulatorDataFile), text));
  }

  ScopedTempDir dir_;
  SimulatorState state_;
  SimulatorSettings settings_;
  float calResistor_[kRefChannels] = {1201539.875f, 59783.8f, 1406783.75f,
                                      994.25647f, 4994.2563f};
  float gain_[kCoefficients] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  float phase_[kCoefficients] = {};
};

// The parallel specimen found must draw the start's current and watts.
void ExpectParallelSpecimenConsistent(const SimulatorState& s) {
  const double r = s.specResistance;
  const double volts = std::sqrt(s.specWatts * r);
  const double b = kOmega60 * s.specReactive;
  const double amps = volts * std::sqrt(1 / (r * r) + b * b);
  EXPECT_NEAR(amps, s.specCurrent * 0.001, s.specCurrent * 1e-8);
  EXPECT_NEAR(s.specPowerFactor, 100.0 * s.specWatts / (volts * amps), 1e-3);
  EXPECT_NEAR(s.specImpedance, volts / amps, s.specImpedance * 1e-5);
}

TEST_F(SimulatedStartTest, DefaultsPerModeModelAndDisplay) {
  Start(SIMUL_XREF, Params());
  EXPECT_FLOAT_EQ(state_.specCurrent, 4.567f);
  EXPECT_FLOAT_EQ(state_.specWatts, 23.45f);
  EXPECT_FLOAT_EQ(state_.specReactive, 5.678e-10f);
  ExpectParallelSpecimenConsistent(state_);
  EXPECT_FLOAT_EQ(state_.refMagnitude, 2.0f);
  Start(SIMUL_EXC, Params());
  EXPECT_FLOAT_EQ(state_.specWatts, 2.345f);
  EXPECT_FLOAT_EQ(state_.specReactive, 6.789e-10f);
  ExpectParallelSpecimenConsistent(state_);
  EXPECT_EQ(state_.simTestNumber, 1);  // no file, no walk

  // A series capacitor dissipates the watts in R at the full current.
  Q7K_TEST_PARAMS params = Params();
  params.CapModel = SERIES_MODEL;
  Start(SIMUL_EXC, params);
  EXPECT_FLOAT_EQ(state_.specResistance, 2.345 / (4.567e-3 * 4.567e-3));
  EXPECT_GT(state_.specPowerFactor, 0);

  // SIMUL_LEAK: inductive, in parallel with 50000 ohms.
  params.IndModel = SERIES_MODEL;
  Start(SIMUL_LEAK, params);
  EXPECT_FLOAT_EQ(state_.specReactive, -0.0008f);
  const double r = 45.67f / (2.345 * 2.345);
  EXPECT_FLOAT_EQ(state_.specResistance, r * 50000 / (r + 50000));
  EXPECT_GT(state_.specPowerFactor, 0);

  // Referred to 10 kV: scaled by the maximum, when there is one.
  params.DisplayMode = REF_TO_10KV;
  params.KVoltMax = 5.0f;
  Start(SIMUL_XREF, params);
  EXPECT_FLOAT_EQ(state_.specCurrent, 4.567f * 0.5);
  EXPECT_FLOAT_EQ(state_.specWatts, 23.45f * 0.25);
  params.KVoltMax = 0.0f;
  Start(SIMUL_XREF, params);
  EXPECT_FLOAT_EQ(state_.specCurrent, 4.567f);
}

TEST_F(SimulatedStartTest, FileTestsAreUsedInTurn) {
  WriteDataFile(
      "[SimulExtRef]\n"
      "Test 1=1.5~10~1e-9\n"
      "Test 2=2.5~20~2e-9\n");
  for (float current : {1.5f, 2.5f, 1.5f, 2.5f}) {
    Start(SIMUL_XREF, Params());
    EXPECT_FLOAT_EQ(state_.specCurrent, current);
    EXPECT_FLOAT_EQ(state_.specWatts, current == 1.5f ? 10.0f : 20.0f);
    EXPECT_FLOAT_EQ(state_.specReactive, current == 1.5f ? 1e-9f : 2e-9f);
  }
  // A mode without a section reads nothing and keeps the number.
  Start(SIMUL_EXC, Params());
  EXPECT_EQ(state_.simTestNumber, 3);
  EXPECT_FLOAT_EQ(state_.specCurrent, 4.567f);
}

TEST_F(SimulatedStartTest, PartialOrZeroFileValues) {
  WriteDataFile(
      "[SimulExtRef]\nTest 1=3.5~7\n"
      "[SimulLeakReac]\nTest 1=100\n");
  Start(SIMUL_XREF, Params());
  EXPECT_FLOAT_EQ(state_.specCurrent, 3.5f);
  EXPECT_FLOAT_EQ(state_.specWatts, -1.0f);  // no second separator
  EXPECT_FLOAT_EQ(state_.specReactive, 7.777e-10f);
  EXPECT_LT(state_.specPowerFactor, 0);  // negative watts
  EXPECT_GT(state_.specResistance, 0);
  Start(SIMUL_LEAK, Params());
  EXPECT_FLOAT_EQ(state_.specCurrent, 100.0f);
  EXPECT_FLOAT_EQ(state_.specReactive, -0.055f);

  WriteDataFile("[SimulExtRef]\nTest 1=1~1~0\n");  // must not crash
  Start(SIMUL_XREF, Params());
  EXPECT_FLOAT_EQ(state_.specReactive, 0.0f);
}

TEST_F(SimulatedStartTest, CalibrationSpecimenPerRangeAndBox) {
  for (float& p : phase_) p = 10.0f;  // marker: no correction
  Q7K_TEST_PARAMS params = Params();
  params.CalTestNum = 1;
  Start(SIMUL_CAL, params);
  EXPECT_FLOAT_EQ(state_.specReactive, 4.444e-16f);
  EXPECT_NEAR(state_.specPowerFactor, -100.0, 1e-3);  // watts unset: -1
  struct Case {
    int16_t n;
    int16_t box;
    REFCAL_INDEX channel;
  } cases[] = {{3, 0, MRED_RES},
               {4, 0, RED_RES},
               {6, 1, NBLUE_RES},
               {7, 0, BLUE_RES},
               {7, 2, NBLUE_RES}};
  for (const Case& c : cases) {
    params.CalTestNum = c.n;
    settings_.boxType = c.box;
    Start(SIMUL_CAL, params);
    EXPECT_FLOAT_EQ(state_.specResistance, calResistor_[c.channel])
        << "range " << c.n << " box " << c.box;
  }
  // Guard and loss tests use fixed resistors.
  params.CalTestNum = 8;
  Start(SIMUL_CAL, params);
  EXPECT_FLOAT_EQ(state_.specResistance, 1e9 / 2.2f);
  state_.calErrorPair[0] = 0.0f;
  params.CalTestNum = 9;
  Start(SIMUL_CAL, params);
  EXPECT_FLOAT_EQ(state_.specResistance, 99999997952.0 / 5.5f);
  // Numbers outside the coefficient tables touch nothing.
  for (float& g : gain_) g = 0.0f;
  for (int16_t n : {0, 11}) {
    params.CalTestNum = n;
    Start(SIMUL_CAL, params);
    EXPECT_GT(state_.specResistance, 0) << n;
  }
  for (float g : gain_) EXPECT_EQ(g, 0.0f);
}

TEST_F(SimulatedStartTest, CalibrationErrorsFromTheFile) {
  WriteDataFile("[SimulCalErrors]\n300 uA=1.5~2.0\n30 mA=4\n");
  phase_[0] = phase_[4] = 10.0f;
  Q7K_TEST_PARAMS params = Params();
  params.CalTestNum = 1;
  Start(SIMUL_CAL, params);
  EXPECT_FLOAT_EQ(state_.calErrorPair[0], 1.5f);
  EXPECT_FLOAT_EQ(state_.specResistance, 1.015f * calResistor_[MRED_RES]);
  EXPECT_GT(state_.specReactive, 4.444e-16f);  // the phase error
  // A value without separator keeps the second number.
  params.CalTestNum = 5;
  Start(SIMUL_CAL, params);
  EXPECT_FLOAT_EQ(state_.calErrorPair[0], 4.0f);
  EXPECT_FLOAT_EQ(state_.calErrorPair[1], 2.0f);
  EXPECT_FLOAT_EQ(state_.specResistance, 1.04f * calResistor_[RED_RES]);
}

TEST_F(SimulatedStartTest, CalibrationCoefficientsCorrectTheSpecimen) {
  settings_.runtimeFrequency = 60.0f;
  Q7K_TEST_PARAMS params = Params();
  params.CalTestNum = 2;
  gain_[1] = 2.0f;
  Start(SIMUL_CAL, params);
  // Z is divided by the gain; with no phase R follows Z.
  EXPECT_NEAR(state_.specImpedance, calResistor_[MRED_RES] / 2.0, 1.0);
  EXPECT_NEAR(state_.specResistance, state_.specImpedance, 1e-3);
  gain_[1] = 0.0f;  // a zero gain is replaced by 0.01
  Start(SIMUL_CAL, params);
  EXPECT_FLOAT_EQ(gain_[1], 0.01f);
  EXPECT_NEAR(state_.specImpedance, calResistor_[MRED_RES] * 100.0, 1e3);

  params.CalTestNum = 1;  // a phase of one degree: the specimen now leads
  phase_[0] = 1.0f;
  Start(SIMUL_CAL, params);
  EXPECT_NEAR(std::acos(state_.specCosTheta) * 180 / 3.14159265, 1.0, 1e-3);
  EXPECT_LT(state_.specPowerFactor, 0);
}

}  // namespace
}  // namespace q7k
