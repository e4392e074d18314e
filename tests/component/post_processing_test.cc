#include "component/post_processing.h"

#include <gtest/gtest.h>

#include <cmath>

namespace q7k {
namespace {

Q7K_TEST_DATA Data() {
  Q7K_TEST_DATA data{};
  data.KVoltMeas = data.KVoltCalc = 10.0f;
  data.Amperes = 0.002f;
  data.Watts = 1.0f;
  data.PowerFactor = 2.0f;
  data.TangentDelta = 0.02f;
  return data;
}

TEST(AdjustTestDataTest, NoVoltageZeroesTheResultsOnly) {
  Q7K_TEST_PARAMS params{};
  params.AdjustWatts = -1;
  Q7K_TEST_DATA data = Data();
  data.KVoltMeas = 0.0f;
  float* zeroed[] = {
      &data.KVoltCalc,       &data.Amperes,        &data.Watts,
      &data.PowerFactor,     &data.TangentDelta,   &data.SeriesCap,
      &data.ParallelCap,     &data.SeriesInd,      &data.ParallelInd,
      &data.SeriesRes,       &data.ParallelRes,    &data.SpecimenPeak,
      &data.SpecimenPeakMin, &data.SpecimenPeakMax};
  float* kept[] = {&data.FrequencyMeas,      &data.ReferencePeak,
                   &data.RefVoltageMag,      &data.VectorDotProduct,
                   &data.VectorCrossProduct, &data.SineThetaX100};
  for (float* f : zeroed) *f = 1.0f;
  for (float* f : kept) *f = 3.0f;
  AdjustTestData(params, data);
  for (float* f : zeroed) EXPECT_EQ(*f, 0.0f);
  for (float* f : kept) EXPECT_EQ(*f, 3.0f);
  EXPECT_EQ(params.AdjustWatts, -1);  // not applied yet
}

TEST(AdjustTestDataTest, CorrectionSignsNoiseAndScaling) {
  const float kAny = NAN;
  struct Row {
    const char* what;
    TYPE_OF_CAL cal;
    DISPLAY_MODE display;
    short adjust;
    float correction, kVoltCalc, amperes, watts, powerFactor;
    float wattsOut, powerFactorOut, amperesOut, tangentDeltaOut;
  };
  // clang-format off
  const Row rows[] = {
      {"correction made positive", NO_CAL, ACTUAL_VALUES, -1, 1.5f,
       10, 0.002f, 1, 2, 0.5f, 2, kAny, kAny},
      {"no current pins the power factor", NO_CAL, ACTUAL_VALUES, -1, 0.25f,
       10, 0, 1, 2, 0.75f, 99.99f, kAny, kAny},
      {"no voltage pins it negative", NO_CAL, ACTUAL_VALUES, -1, 1.5f,
       0, 0.002f, 1, 2, 0.5f, -99.99f, kAny, kAny},
      {"negative power factor flips watts first", NO_CAL, ACTUAL_VALUES, -1,
       0.25f, 10, 0.002f, 1, -3, 1.25f, -3, kAny, kAny},
      {"recalibration negations cancel, no floor, no scaling", RE_CAL,
       REF_TO_10KV, -1, 0.25f, 5, 1e-9f, 1, -3, 0.75f, kAny, 1e-9f, kAny},
      {"recalibration without correction", RE_CAL, REF_TO_10KV, 0, 0.25f,
       10, 0.002f, 1, -3, -1, kAny, kAny, kAny},
      {"below the noise floor", NO_CAL, ACTUAL_VALUES, 0, 0, 10, -9e-8f,
       9e-6f, 2, 0, kAny, 0, kAny},
      {"above the noise floor", NO_CAL, ACTUAL_VALUES, 0, 0, 10, 2e-7f,
       -2e-5f, 2, -2e-5f, kAny, 2e-7f, kAny},
      {"power factor just below zero is noise", NO_CAL, ACTUAL_VALUES, 0, 0,
       10, 0.002f, 1, -0.04f, 0, 0, kAny, 0},
      {"and further below it is not", NO_CAL, ACTUAL_VALUES, 0, 0, 10,
       0.002f, 1, -0.06f, 1, -0.06f, kAny, 0.02f},
      {"power factor zero", NO_CAL, ACTUAL_VALUES, 0, 0, 10, 0.002f, 1, 0,
       0, kAny, kAny, kAny},
      {"referred to 10 kV", NO_CAL, REF_TO_10KV, 0, 0, 5, 0.002f, 1, 2,
       4, kAny, 0.004f, kAny},
      {"not referred under recalibration", RE_CAL, REF_TO_10KV, 0, 0, 5,
       0.002f, 1, 2, 1, kAny, 0.002f, kAny},
  };
  // clang-format on
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Q7K_TEST_PARAMS params{};
    params.TypeOfCal = r.cal;
    params.DisplayMode = r.display;
    params.AdjustWatts = r.adjust;
    params.WattsAdjustment = r.correction;
    Q7K_TEST_DATA data = Data();
    data.KVoltCalc = r.kVoltCalc;
    data.Amperes = r.amperes;
    data.Watts = r.watts;
    data.PowerFactor = r.powerFactor;
    AdjustTestData(params, data);
    const std::pair<float, float> checks[] = {
        {data.Watts, r.wattsOut},
        {data.PowerFactor, r.powerFactorOut},
        {data.Amperes, r.amperesOut},
        {data.TangentDelta, r.tangentDeltaOut}};
    for (const auto& [got, want] : checks) {
      if (!std::isnan(want)) {
        EXPECT_FLOAT_EQ(got, want);
      }
    }
  }
}

TEST(AdjustTestDataTest, WattsCorrectionAppliedOnce) {
  Q7K_TEST_PARAMS params{};
  params.AdjustWatts = -1;
  params.WattsAdjustment = 1.5f;
  Q7K_TEST_DATA data = Data();
  AdjustTestData(params, data);
  EXPECT_EQ(params.AdjustWatts, 0);
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.Watts, 0.5f);
}

// The EEPROM side is covered through the component's own reads in
// measurement_methods_test.cc; here only the sign of the revision.
TEST(WattsAdjustmentTest, RevisionIsSigned) {
  EXPECT_FALSE(WattsAdjustmentStored(-1, 0xFFFF));
  EXPECT_EQ(WattsAdjustmentFromEeprom(1010, 0x0800, 0.5f, 10.0f), 0.0f);
}

}  // namespace
}  // namespace q7k
