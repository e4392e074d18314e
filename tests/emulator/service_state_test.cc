// Registers, calibration information and coefficients over the line.
#include "service_state.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

Bytes AddressValue(uint32_t address, uint32_t value) {
  Bytes b;
  Put32(&b, address);
  Put32(&b, value);
  return b;
}

Bytes Address(uint32_t address) {
  Bytes b;
  Put32(&b, address);
  return b;
}

TEST(EmulatorService, RegistersWriteReadOrAnd) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(Get32(s.host->Transact(0x7E01, Address(0x642010)).payload, 1), 2u);
  ASSERT_TRUE(s.host->Transact(0x7E00, AddressValue(0x123, 0xF0F0)).Ack());
  ASSERT_TRUE(s.host->Transact(0x7E02, AddressValue(0x123, 0x000F)).Ack());
  ASSERT_TRUE(s.host->Transact(0x7E03, AddressValue(0x123, 0xFF0F)).Ack());
  Frame f = s.host->Transact(0x7E01, Address(0x123));
  ASSERT_EQ(f.payload.size(), 5u);
  EXPECT_EQ(Get32(f.payload, 1), 0xF00Fu);
  ASSERT_TRUE(s.host->Transact(0x7E19, AddressValue(0x124, 77)).Ack());
  EXPECT_EQ(Get32(s.host->Transact(0x7E1A, Address(0x124)).payload, 1), 77u);
  EXPECT_EQ(Get32(s.host->Transact(0x7E01, Address(0x999)).payload, 1), 0u);
}

TEST(EmulatorService, CalibrationInfoComesFromTheBoards) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Frame f = s.host->Transact(0x0013);
  ASSERT_EQ(f.payload.size(), 51u);
  const char* dates[] = {"01/24/97", "01/24/97", "12/15/94", "01/27/95",
                         "12/07/94"};
  for (int g = 0; g < 5; ++g) {
    EXPECT_EQ(Get16(f.payload, 1 + 10 * g), 1) << g;
    EXPECT_EQ(std::string(f.payload.begin() + 3 + 10 * g,
                          f.payload.begin() + 11 + 10 * g),
              dates[g]);
  }
  // A board without a calibration date reports the calibration not done.
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    emu::EepromWords w = *m.boards().Find(6, 0);
    w[52] = w[53] = w[54] = 0;
    return m.boards().Replace(6, 0, w);
  });
  f = s.host->Transact(0x0013);
  EXPECT_EQ(Get16(f.payload, 21), 0);
  EXPECT_EQ(Bytes(f.payload.begin() + 23, f.payload.begin() + 31), Bytes(8, 0));
}

TEST(EmulatorService, ReferenceCoefficientsRoundTrip) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Frame before = s.host->Transact(0x0015);
  ASSERT_EQ(before.payload.size(), 25u);
  EXPECT_EQ(Get32(before.payload, 1), 0x4992AC1Fu);  // main resistor
  Bytes coeffs;
  for (int i = 0; i < 6; ++i) PutF(&coeffs, 100.0f + i);
  ASSERT_TRUE(s.host->Transact(0x7E12, coeffs).Ack());
  Frame after = s.host->Transact(0x0015);
  EXPECT_EQ(Bytes(after.payload.begin() + 1, after.payload.end()), coeffs);
}

TEST(EmulatorService, CalibrationSetsArriveInReverseIndexOrder) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Bytes sys;
  Put16(&sys, 3);
  PutF(&sys, 1.5f);
  for (int k = 9; k >= 0; --k) PutF(&sys, 1.0f + k);   // gains 9..0
  for (int k = 9; k >= 0; --k) PutF(&sys, -1.0f * k);  // phases 9..0
  ASSERT_TRUE(s.host->Transact(0x7E14, sys).Ack());
  Bytes guard;
  for (int16_t d : {1, 2, 3, 4}) Put16(&guard, static_cast<uint16_t>(d));
  PutF(&guard, 2.5f);
  for (int k = 9; k >= 0; --k) PutF(&guard, 10.0f + k);
  for (int k = 9; k >= 0; --k) PutF(&guard, 20.0f + k);
  ASSERT_TRUE(s.host->Transact(0x7E13, guard).Ack());
  Bytes enable = {1, 0, 0, 0};
  ASSERT_TRUE(s.host->Transact(0x7E11, enable).Ack());

  s.emulator.WithModel([](emu::InstrumentModel& m) {
    const emu::CoefficientSet& c = m.service().sys_cal();
    EXPECT_EQ(c.calType, 3);
    EXPECT_EQ(c.refGain, 1.5f);
    EXPECT_EQ(c.gains[0], 1.0f);
    EXPECT_EQ(c.gains[9], 10.0f);
    EXPECT_EQ(c.phases[9], -9.0f);
    const emu::CoefficientSet& g = m.service().guard_cal();
    EXPECT_EQ(g.dac[3], 4);
    EXPECT_EQ(g.gains[2], 12.0f);
    EXPECT_EQ(g.phases[0], 20.0f);
    EXPECT_EQ(m.service().enable(0x7E11)[0], 1);
    return 0;
  });
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
