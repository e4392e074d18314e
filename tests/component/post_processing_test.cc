#include "component/post_processing.h"

#include <gtest/gtest.h>

namespace q7k {
namespace {

Q7K_TEST_DATA Data() {
  Q7K_TEST_DATA data{};
  data.KVoltMeas = 10.0f;
  data.KVoltCalc = 10.0f;
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
  data.SeriesCap = data.ParallelCap = data.SeriesInd = data.ParallelInd = 1;
  data.SeriesRes = data.ParallelRes = data.SpecimenPeak = 1;
  data.SpecimenPeakMin = data.SpecimenPeakMax = 1;
  data.FrequencyMeas = 60.0f;
  data.ReferencePeak = 0.85f;
  data.RefVoltageMag = 1.9f;
  data.VectorDotProduct = 3.0f;
  data.VectorCrossProduct = 4.0f;
  data.SineThetaX100 = 5.0f;
  AdjustTestData(params, data);

  for (float value :
       {data.KVoltCalc, data.Amperes, data.Watts, data.PowerFactor,
        data.TangentDelta, data.SeriesCap, data.ParallelCap, data.SeriesInd,
        data.ParallelInd, data.SeriesRes, data.ParallelRes, data.SpecimenPeak,
        data.SpecimenPeakMin, data.SpecimenPeakMax}) {
    EXPECT_EQ(value, 0.0f);
  }
  EXPECT_EQ(data.FrequencyMeas, 60.0f);
  EXPECT_EQ(data.ReferencePeak, 0.85f);
  EXPECT_EQ(data.RefVoltageMag, 1.9f);
  EXPECT_EQ(data.VectorDotProduct, 3.0f);
  EXPECT_EQ(data.VectorCrossProduct, 4.0f);
  EXPECT_EQ(data.SineThetaX100, 5.0f);
  EXPECT_EQ(params.AdjustWatts, -1);  // not applied yet
}

TEST(AdjustTestDataTest, WattsCorrectionAppliedOnce) {
  Q7K_TEST_PARAMS params{};
  params.AdjustWatts = -1;
  params.WattsAdjustment = 1.5f;
  Q7K_TEST_DATA data = Data();
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.Watts, 0.5f);  // -0.5 made positive
  EXPECT_EQ(params.AdjustWatts, 0);
  EXPECT_FLOAT_EQ(data.PowerFactor, 2.0f);

  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.Watts, 0.5f);
}

TEST(AdjustTestDataTest, PowerFactorPinnedWithoutCurrentOrVoltage) {
  Q7K_TEST_PARAMS params{};
  params.AdjustWatts = -1;
  params.WattsAdjustment = 0.25f;
  Q7K_TEST_DATA data = Data();
  data.Amperes = 0.0f;
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.PowerFactor, 99.99f);
  EXPECT_FLOAT_EQ(data.Watts, 0.75f);

  params.AdjustWatts = -1;
  params.WattsAdjustment = 1.5f;
  data = Data();
  data.KVoltCalc = 0.0f;
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.PowerFactor, -99.99f);
  EXPECT_FLOAT_EQ(data.Watts, 0.5f);
}

TEST(AdjustTestDataTest, NegativePowerFactorFlipsWattsBeforeTheCorrection) {
  Q7K_TEST_PARAMS params{};
  params.AdjustWatts = -1;
  params.WattsAdjustment = 0.25f;
  Q7K_TEST_DATA data = Data();
  data.PowerFactor = -3.0f;
  AdjustTestData(params, data);
  // -1 - 0.25, made positive under NO_CAL.
  EXPECT_FLOAT_EQ(data.Watts, 1.25f);
  EXPECT_FLOAT_EQ(data.PowerFactor, -3.0f);
}

TEST(AdjustTestDataTest, RecalibrationNegationsCancel) {
  Q7K_TEST_PARAMS params{};
  params.TypeOfCal = RE_CAL;
  params.AdjustWatts = -1;
  params.WattsAdjustment = 0.25f;
  params.DisplayMode = REF_TO_10KV;
  Q7K_TEST_DATA data = Data();
  data.PowerFactor = -3.0f;
  data.KVoltCalc = 5.0f;
  data.Amperes = 1e-9f;
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.Watts, 0.75f);
  // No noise floor and no scaling under RE_CAL.
  EXPECT_FLOAT_EQ(data.Amperes, 1e-9f);

  params.AdjustWatts = 0;
  data = Data();
  data.PowerFactor = -3.0f;
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.Watts, -1.0f);
}

TEST(AdjustTestDataTest, NoiseFloor) {
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA data = Data();
  data.Amperes = -9e-8f;
  data.Watts = 9e-6f;
  AdjustTestData(params, data);
  EXPECT_EQ(data.Amperes, 0.0f);
  EXPECT_EQ(data.Watts, 0.0f);

  data = Data();
  data.Amperes = 2e-7f;
  data.Watts = -2e-5f;
  AdjustTestData(params, data);
  EXPECT_EQ(data.Amperes, 2e-7f);
  EXPECT_EQ(data.Watts, -2e-5f);
}

TEST(AdjustTestDataTest, PowerFactorJustBelowZeroIsNoise) {
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA data = Data();
  data.PowerFactor = -0.04f;
  AdjustTestData(params, data);
  EXPECT_EQ(data.Watts, 0.0f);
  EXPECT_EQ(data.PowerFactor, 0.0f);
  EXPECT_EQ(data.TangentDelta, 0.0f);

  data = Data();
  data.PowerFactor = -0.06f;
  AdjustTestData(params, data);
  EXPECT_EQ(data.Watts, 1.0f);
  EXPECT_EQ(data.PowerFactor, -0.06f);
  EXPECT_EQ(data.TangentDelta, 0.02f);

  data = Data();
  data.PowerFactor = 0.0f;
  AdjustTestData(params, data);
  EXPECT_EQ(data.Watts, 0.0f);
}

TEST(AdjustTestDataTest, ReferredTo10kV) {
  Q7K_TEST_PARAMS params{};
  params.DisplayMode = REF_TO_10KV;
  Q7K_TEST_DATA data = Data();
  data.KVoltCalc = 5.0f;
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.Amperes, 0.004f);
  EXPECT_FLOAT_EQ(data.Watts, 4.0f);

  params.TypeOfCal = RE_CAL;
  data = Data();
  data.KVoltCalc = 5.0f;
  AdjustTestData(params, data);
  EXPECT_FLOAT_EQ(data.Amperes, 0.002f);
  EXPECT_FLOAT_EQ(data.Watts, 1.0f);
}

// The EEPROM side is covered through the component's own reads in
// measurement_methods_test.cc; here only the sign of the revision.
TEST(WattsAdjustmentTest, RevisionIsSigned) {
  EXPECT_FALSE(WattsAdjustmentStored(-1, 0xFFFF));
  EXPECT_EQ(WattsAdjustmentFromEeprom(1010, 0x0800, 0.5f, 10.0f), 0.0f);
}

}  // namespace
}  // namespace q7k
