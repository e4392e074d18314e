// Test state over the line: parameters, start and stop, the ranging phase,
// result values from the specimen, extended replies, stop reasons.
#include "test_engine.h"

#include <gtest/gtest.h>

#include <cmath>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

constexpr double kTwoPi = 6.283185307179586;

Bytes InitParams(int16_t lineType) {
  Bytes b;
  Put16(&b, static_cast<uint16_t>(lineType));
  for (int i = 0; i < 5; ++i) Put16(&b, 0);  // source, four switches
  Put16(&b, 12);                             // max volts
  Put16(&b, 3600);                           // transformer max temperature time
  for (int i = 0; i < 4; ++i) PutF(&b, 0.0f);
  return b;
}

Bytes Runtime(int16_t volts, float hertz, int16_t voltCorrect = 0,
              int16_t currentRange = 0, int16_t phase = 0) {
  Bytes b;
  for (int16_t v : {0, 0, 0, 0}) Put16(&b, static_cast<uint16_t>(v));
  Put16(&b, static_cast<uint16_t>(voltCorrect));
  Put16(&b, static_cast<uint16_t>(phase));
  Put16(&b, static_cast<uint16_t>(volts));
  Put16(&b, 7);  // voltage scale
  Put16(&b, static_cast<uint16_t>(currentRange));
  PutF(&b, hertz);
  return b;
}

Bytes ResultRequest(int16_t filter = 1, uint16_t samples = 0) {
  Bytes b;
  Put16(&b, static_cast<uint16_t>(filter));
  Put16(&b, samples);
  return b;
}

// Reply data offsets (the payload's ACK byte is at 0).
constexpr size_t kStatus = 1, kNormRev = 3, kScale = 5, kRange = 7, kFilter = 9,
                 kKvMeas = 11, kAmperes = 19, kWatts = 23, kPowerFactor = 27,
                 kParallelCap = 59, kFrequency = 79, kSpecimenPeak = 83,
                 kSamples = 91, kThermal = 93, kToggle = 147, kStable = 149,
                 kPeakMin = 151, kPeakMax = 155;

void StartTest(HostLine* host, int16_t lineType, int16_t volts, float hertz) {
  ASSERT_TRUE(host->Transact(0x0003, InitParams(lineType)).Ack());
  ASSERT_TRUE(host->Transact(0x0004, Runtime(volts, hertz)).Ack());
  ASSERT_TRUE(host->Transact(0x0005).Ack());
}

TEST(EmulatorTests, ResultsWithoutATestCarryTheStopReason) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Bytes idle = {0x15, 14, 0, 0, 0};
  idle.resize(24, 0);
  EXPECT_EQ(s.host->Transact(0x0006, ResultRequest()).payload, idle);

  ASSERT_TRUE(s.host->Transact(0x0005).Ack());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    m.tests().Trip(0x0088, {0, 0, 2});
    return 0;
  });
  Bytes tripped = {0x15, 14, 0, 0x88, 0x00, 0, 0, 2};
  tripped.resize(24, 0);
  EXPECT_EQ(s.host->Transact(0x0016, ResultRequest()).payload, tripped);
  EXPECT_EQ(s.host->Transact(0x7E16, Bytes(2, 0)).payload, tripped);
  // A new start clears the reason.
  ASSERT_TRUE(s.host->Transact(0x0005).Ack());
  ASSERT_TRUE(s.host->Transact(0x0007).Ack());
  EXPECT_EQ(s.host->Transact(0x0006, ResultRequest()).payload, idle);
}

TEST(EmulatorTests, ResultsRangeThenSettleThenCarrySpecimenValues) {
  EmulatorOptions options;
  options.model.test.specimen.capacitance = 2.0e-9;
  options.model.test.specimen.dissipation = 0.01;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  StartTest(s.host.get(), 0, 10000, 50.0f);

  std::vector<uint16_t> statuses;
  Frame last;
  for (int poll = 0; poll < 5; ++poll) {
    Frame f = s.host->Transact(0x0006, ResultRequest(2, 100));
    ASSERT_TRUE(f.Ack());
    ASSERT_EQ(f.payload.size(), 147u);
    statuses.push_back(Get16(f.payload, kStatus));
    EXPECT_FLOAT_EQ(GetF(f.payload, kKvMeas), 10.0f);
    EXPECT_FLOAT_EQ(GetF(f.payload, kFrequency), 50.0f);
    if (poll == 0) {
      EXPECT_EQ(GetF(f.payload, kAmperes), 0.0f);
      EXPECT_EQ(GetF(f.payload, kSpecimenPeak), 0.0f);
    }
    last = f;
  }
  EXPECT_EQ(statuses, (std::vector<uint16_t>{1, 1, 1, 2, 0}));

  const double b = kTwoPi * 50.0 * 2.0e-9;
  const double amperes = 10000.0 * b * std::sqrt(1.0 + 0.01 * 0.01);
  EXPECT_NEAR(GetF(last.payload, kAmperes), amperes, amperes * 1e-5);
  EXPECT_NEAR(GetF(last.payload, kWatts), 1e8 * b * 0.01, 1e-5);
  EXPECT_NEAR(GetF(last.payload, kPowerFactor),
              100.0 * 0.01 / std::sqrt(1.0 + 1e-4), 1e-5);
  EXPECT_NEAR(GetF(last.payload, kParallelCap), 2.0e-9, 1e-15);
  EXPECT_NEAR(GetF(last.payload, kSpecimenPeak), amperes * std::sqrt(2.0),
              1e-7);
  EXPECT_EQ(Get16(last.payload, kRange), 7);  // 6.3 mA: the 10 mA range
  EXPECT_EQ(Get16(last.payload, kScale), 7);
  EXPECT_EQ(Get16(last.payload, kFilter), 2);
  EXPECT_EQ(Get16(last.payload, kNormRev), 0);
  EXPECT_EQ(Get16(last.payload, kSamples), 10);
  // Thermal block: transformer current follows the specimen current.
  EXPECT_NEAR(GetF(last.payload, kThermal + 16), amperes * 40, 1e-4);
}

TEST(EmulatorTests, ExtendedRepliesCarryTheToggleAndPeaks) {
  EmulatorOptions options;
  options.model.test.rangingPolls = 1;
  options.model.test.settlingPolls = 0;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  StartTest(s.host.get(), 0, 5000, 60.0f);
  Frame ranging = s.host->Transact(0x0016, ResultRequest());
  ASSERT_EQ(ranging.payload.size(), 159u);
  EXPECT_EQ(Get16(ranging.payload, kToggle), 0);
  EXPECT_EQ(Get16(ranging.payload, kStable), 0);
  Frame valid = s.host->Transact(0x0016, ResultRequest());
  EXPECT_EQ(Get16(valid.payload, kStable), 1);
  const float peak = GetF(valid.payload, kPeakMax);
  EXPECT_GT(peak, 0.0f);
  EXPECT_EQ(GetF(valid.payload, kPeakMin), -peak);

  // A voltage-control reset flips the toggle and ranges afresh.
  ASSERT_TRUE(s.host->Transact(0x0004, Runtime(5000, 60.0f, 2, 0, 1)).Ack());
  Frame after = s.host->Transact(0x0016, ResultRequest());
  EXPECT_EQ(Get16(after.payload, kStatus), 1);
  EXPECT_EQ(Get16(after.payload, kToggle), 1);
  EXPECT_EQ(Get16(after.payload, kStable), 0);
  EXPECT_EQ(Get16(after.payload, kNormRev), 1);
  // The plain command never carries the extension.
  EXPECT_EQ(s.host->Transact(0x0006, ResultRequest()).payload.size(), 147u);
}

TEST(EmulatorTests, LineSyncTestsMeasureTheLineFrequency) {
  EmulatorOptions options;
  options.model.test.lineFrequency = 50.0f;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  StartTest(s.host.get(), 1, 0, 60.0f);
  Frame f = s.host->Transact(0x0006, ResultRequest());
  EXPECT_FLOAT_EQ(GetF(f.payload, kFrequency), 50.0f);
  EXPECT_EQ(GetF(f.payload, kAmperes), 0.0f);
}

TEST(EmulatorTests, ParametersOutOfRangeAreRefusedWithTheirNumber) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.host->Transact(0x0003, InitParams(2)).payload,
            (Bytes{0x15, 13, 0, 1, 0}));
  EXPECT_EQ(s.host->Transact(0x0004, Runtime(100, 60.0f, 0, 11)).payload,
            (Bytes{0x15, 13, 0, 9, 0}));
  EXPECT_EQ(s.host->Transact(0x0004, Runtime(100, 2000.0f)).payload,
            (Bytes{0x15, 13, 0, 10, 0}));
  EXPECT_EQ(s.host->Transact(0x0004, Runtime(100, 60.0f, 4)).payload,
            (Bytes{0x15, 13, 0, 5, 0}));
  EXPECT_EQ(s.host->Transact(0x0004, Runtime(-5, 60.0f)).payload,
            (Bytes{0x15, 13, 0, 7, 0}));
}

TEST(EmulatorTests, ThermalDataFollowTheBoundaryTemperatures) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Bytes temps;
  PutF(&temps, 90.0f);
  PutF(&temps, 70.0f);
  ASSERT_TRUE(s.host->Transact(0x0014, temps).Ack());
  Frame f = s.host->Transact(0x0012);
  ASSERT_EQ(f.payload.size(), 55u);
  EXPECT_FLOAT_EQ(GetF(f.payload, 1 + 36), 90.0f);
  EXPECT_FLOAT_EQ(GetF(f.payload, 1 + 40), 70.0f);
  EXPECT_EQ(Get16(f.payload, 1 + 50), 1);  // external sensor inserted
  Bytes inverted;
  PutF(&inverted, 60.0f);
  PutF(&inverted, 70.0f);
  EXPECT_EQ(s.host->Transact(0x0014, inverted).payload,
            (Bytes{0x15, 13, 0, 2, 0}));
}

TEST(EmulatorTests, RawResultsDescribeTheSpecimenVectors) {
  EmulatorOptions options;
  options.model.test.rangingPolls = 0;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  StartTest(s.host.get(), 0, 10000, 60.0f);
  Bytes filter;
  Put16(&filter, 2);
  Frame f = s.host->Transact(0x7E16, filter);
  ASSERT_EQ(f.payload.size(), 35u);
  EXPECT_EQ(Get16(f.payload, 1), 0);  // not ranging
  EXPECT_EQ(Get16(f.payload, 9), 2);  // results type: the filter asked
  EXPECT_FLOAT_EQ(GetF(f.payload, 27), 10.0f);  // reference vector X, kV
  EXPECT_GT(GetF(f.payload, 23), 0.0f);         // capacitive: leading
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
