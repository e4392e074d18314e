// Registers, calibration information and coefficients over the line.
#include "service_state.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

Bytes Longs(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) Put32(&b, v);
  return b;
}

TEST(EmulatorService, RegistersWriteReadOrAnd) {
  EmulatorSession s;
  HostLine* h = &s.host;
  EXPECT_EQ(Get32(h->Transact(0x7E01, Longs({0x642010})).payload, 1), 2u);
  ASSERT_TRUE(h->Transact(0x7E00, Longs({0x123, 0xF0F0})).Ack());
  ASSERT_TRUE(h->Transact(0x7E02, Longs({0x123, 0x000F})).Ack());
  ASSERT_TRUE(h->Transact(0x7E03, Longs({0x123, 0xFF0F})).Ack());
  Frame f = h->Transact(0x7E01, Longs({0x123}));
  ASSERT_EQ(f.payload.size(), 5u);
  EXPECT_EQ(Get32(f.payload, 1), 0xF00Fu);
  ASSERT_TRUE(h->Transact(0x7E19, Longs({0x124, 77})).Ack());
  EXPECT_EQ(Get32(h->Transact(0x7E1A, Longs({0x124})).payload, 1), 77u);
}

TEST(EmulatorService, CalibrationInfoComesFromTheBoards) {
  EmulatorSession s;
  Frame f = s.host.Transact(0x0013);
  ASSERT_EQ(f.payload.size(), 51u);
  EXPECT_EQ(Get16(f.payload, 21), 1);
  EXPECT_EQ(std::string(f.payload.begin() + 23, f.payload.begin() + 31),
            "12/15/94");
  // A board without a calibration date reports the calibration not done.
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    emu::EepromWords w = *m.boards().Find(6, 0);
    w[52] = w[53] = w[54] = 0;
    return m.boards().Replace(6, 0, w);
  });
  f = s.host.Transact(0x0013);
  EXPECT_EQ(Get16(f.payload, 21), 0);
  EXPECT_EQ(Bytes(f.payload.begin() + 23, f.payload.begin() + 31), Bytes(8, 0));
}

TEST(EmulatorService, CoefficientsRoundTripAndSetsArriveInReverseOrder) {
  EmulatorSession s;
  EXPECT_EQ(Get32(s.host.Transact(0x0015).payload, 1), 0x4992AC1Fu);
  Bytes coeffs;
  for (int i = 0; i < 6; ++i) PutF(&coeffs, 100.0f + i);
  ASSERT_TRUE(s.host.Transact(0x7E12, coeffs).Ack());
  Frame after = s.host.Transact(0x0015);
  EXPECT_EQ(Bytes(after.payload.begin() + 1, after.payload.end()), coeffs);

  Bytes sys;
  Put16(&sys, 3);
  PutF(&sys, 1.5f);
  for (int k = 9; k >= 0; --k) PutF(&sys, 1.0f + k);   // gains 9..0
  for (int k = 9; k >= 0; --k) PutF(&sys, -1.0f * k);  // phases 9..0
  ASSERT_TRUE(s.host.Transact(0x7E14, sys).Ack());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    const emu::CoefficientSet& c = m.service().sys_cal();
    EXPECT_EQ(c.calType, 3);
    EXPECT_EQ(c.refGain, 1.5f);
    EXPECT_EQ(c.gains[0], 1.0f);
    EXPECT_EQ(c.gains[9], 10.0f);
    EXPECT_EQ(c.phases[9], -9.0f);
    return 0;
  });
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
