// Test state over the line: parameters, start and stop, the ranging phase,
// result values, extended replies, stop reasons.
#include "test_engine.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

// Initial parameters, all zero but the line type (1: line synchronous).
Bytes InitParams(uint8_t lineType) {
  Bytes b(32, 0);
  b[0] = lineType;
  return b;
}

Bytes Runtime(int16_t volts, float hertz, int16_t voltCorrect = 0,
              int16_t currentRange = 0, int16_t phase = 0) {
  Bytes b(8, 0);
  for (int16_t v : {voltCorrect, phase, volts, int16_t{7}, currentRange}) {
    Put16(&b, static_cast<uint16_t>(v));
  }
  PutF(&b, hertz);
  return b;
}

const Bytes kFilter2 = {2, 0, 0, 0};  // filter 2, default samples

// Reply data offsets (the payload's ACK byte is at 0).
constexpr size_t kStatus = 1, kNormRev = 3, kRange = 7, kFilter = 9,
                 kAmperes = 19, kFrequency = 79, kToggle = 147, kStable = 149,
                 kPeakMin = 151, kPeakMax = 155;

void StartTest(HostLine* host, uint8_t lineType, int16_t volts, float hertz) {
  ASSERT_TRUE(host->Transact(0x0003, InitParams(lineType)).Ack());
  ASSERT_TRUE(host->Transact(0x0004, Runtime(volts, hertz)).Ack());
  ASSERT_TRUE(host->Transact(0x0005).Ack());
}

TEST(EmulatorTests, ResultsWithoutATestCarryTheStopReason) {
  EmulatorSession s;
  Bytes idle = {0x15, 14, 0, 0, 0};
  idle.resize(24, 0);
  EXPECT_EQ(s.host.Transact(0x0006, kFilter2).payload, idle);

  ASSERT_TRUE(s.host.Transact(0x0005).Ack());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    m.tests().Trip(0x0088, {0, 0, 2});
    return 0;
  });
  Bytes tripped = {0x15, 14, 0, 0x88, 0x00, 0, 0, 2};
  tripped.resize(24, 0);
  EXPECT_EQ(s.host.Transact(0x0016, kFilter2).payload, tripped);
  EXPECT_EQ(s.host.Transact(0x7E16, Bytes(2, 0)).payload, tripped);
  // A new start clears the reason.
  ASSERT_TRUE(s.host.Transact(0x0005).Ack());
  ASSERT_TRUE(s.host.Transact(0x0007).Ack());
  EXPECT_EQ(s.host.Transact(0x0006, kFilter2).payload, idle);
}

TEST(EmulatorTests, ResultsRangeThenCarryTheSpecimenAndExtension) {
  EmulatorOptions options;
  options.model.test.specimen.capacitance = 2.0e-9;
  options.model.test.rangingPolls = 1;
  options.model.test.settlingPolls = 0;
  EmulatorSession s(options);
  StartTest(&s.host, 0, 10000, 50.0f);
  Frame f = s.host.Transact(0x0016, kFilter2);
  ASSERT_EQ(f.payload.size(), 159u);
  EXPECT_EQ(Get16(f.payload, kStatus), 1);
  EXPECT_EQ(GetF(f.payload, kAmperes), 0.0f);
  EXPECT_EQ(Get16(f.payload, kToggle), 0);
  EXPECT_EQ(Get16(f.payload, kStable), 0);

  f = s.host.Transact(0x0016, kFilter2);
  EXPECT_EQ(Get16(f.payload, kStatus), 0);
  EXPECT_EQ(Get16(f.payload, kStable), 1);
  EXPECT_NEAR(GetF(f.payload, kAmperes), 6.283e-3, 1e-5);  // 10 kV, 50 Hz, 2 nF
  EXPECT_EQ(Get16(f.payload, kRange), 7);                  // the 10 mA range
  EXPECT_EQ(Get16(f.payload, kFilter), 2);
  EXPECT_GT(GetF(f.payload, kPeakMax), 0.0f);
  EXPECT_EQ(GetF(f.payload, kPeakMin), -GetF(f.payload, kPeakMax));

  // A voltage-control reset flips the toggle and ranges afresh.
  ASSERT_TRUE(s.host.Transact(0x0004, Runtime(10000, 50.0f, 2, 0, 1)).Ack());
  f = s.host.Transact(0x0016, kFilter2);
  EXPECT_EQ(Get16(f.payload, kStatus), 1);
  EXPECT_EQ(Get16(f.payload, kToggle), 1);
  EXPECT_EQ(Get16(f.payload, kNormRev), 1);
  // The plain command never carries the extension.
  EXPECT_EQ(s.host.Transact(0x0006, kFilter2).payload.size(), 147u);

  Frame raw = s.host.Transact(0x7E16, {2, 0});
  ASSERT_EQ(raw.payload.size(), 35u);
  EXPECT_EQ(Get16(raw.payload, 9), 2);            // results type: the filter
  EXPECT_FLOAT_EQ(GetF(raw.payload, 27), 10.0f);  // reference vector X, kV
  EXPECT_GT(GetF(raw.payload, 23), 0.0f);         // capacitive: leading
}

TEST(EmulatorTests, LineSyncTestsMeasureTheLineFrequency) {
  EmulatorOptions options;
  options.model.test.lineFrequency = 50.0f;
  EmulatorSession s(options);
  StartTest(&s.host, 1, 0, 60.0f);
  Frame f = s.host.Transact(0x0006, kFilter2);
  EXPECT_FLOAT_EQ(GetF(f.payload, kFrequency), 50.0f);
  EXPECT_EQ(GetF(f.payload, kAmperes), 0.0f);
}

TEST(EmulatorTests, ParametersOutOfRangeAreRefusedWithTheirNumber) {
  EmulatorSession s;
  HostLine* h = &s.host;
  EXPECT_EQ(h->Transact(0x0003, InitParams(2)).payload,
            (Bytes{0x15, 13, 0, 1, 0}));
  EXPECT_EQ(h->Transact(0x0004, Runtime(100, 60.0f, 0, 11)).payload,
            (Bytes{0x15, 13, 0, 9, 0}));
  EXPECT_EQ(h->Transact(0x0004, Runtime(100, 2000.0f)).payload,
            (Bytes{0x15, 13, 0, 10, 0}));

  const auto temps = [](float upper, float lower) {
    Bytes b;
    PutF(&b, upper);
    PutF(&b, lower);
    return b;
  };
  ASSERT_TRUE(h->Transact(0x0014, temps(90.0f, 70.0f)).Ack());
  Frame thermal = h->Transact(0x0012);
  ASSERT_EQ(thermal.payload.size(), 55u);
  EXPECT_FLOAT_EQ(GetF(thermal.payload, 1 + 36), 90.0f);
  EXPECT_FLOAT_EQ(GetF(thermal.payload, 1 + 40), 70.0f);
  EXPECT_EQ(h->Transact(0x0014, temps(60.0f, 70.0f)).payload,
            (Bytes{0x15, 13, 0, 2, 0}));
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
