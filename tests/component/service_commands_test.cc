// The service and calibration commands: each payload as the instrument
// received it and the decoded replies.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "support/scripted_component.h"

namespace q7k {
namespace {

using ServiceCommandsTest = ScriptedComponentTest;

struct Sent {
  const char* name;
  std::function<HRESULT(IQ7kComm*)> call;
  uint16_t command;
  Bytes payload;
};

TEST_F(ServiceCommandsTest, PayloadsAsTheInstrumentReceivesThem) {
  ConnectInProcess(
      [](const Request& r) { return LineBytes(AckFrame(r.command)); });
  const float gains[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const float phases[10] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  const short dac[4] = {1, -2, 3, 4};
  const float coeffs[6] = {1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f};
  Bytes reversed;  // the gain and phase tables travel last element first
  for (int i = 9; i >= 0; --i) reversed = Concat({reversed, LeF32(gains[i])});
  for (int i = 9; i >= 0; --i) reversed = Concat({reversed, LeF32(phases[i])});

  using C = IQ7kComm*;
  // clang-format off
  const std::vector<Sent> cases = {
      {"SetXfmrBoundaryTemps", [](C c) { return c->SetXfmrBoundaryTemps(85.0f, 60.5f); }, 0x0014, Concat({LeF32(85.0f), LeF32(60.5f)})},
      {"RegWrite", [](C c) { return c->RegWrite(0x642010, -1); }, 0x7E00, Concat({Le32(0x642010), Le32(0xFFFFFFFF)})},
      {"RegOr", [](C c) { return c->RegOr(0x10, 0x20); }, 0x7E02, Concat({Le32(0x10), Le32(0x20)})},
      {"RegAnd", [](C c) { return c->RegAnd(0x30, 0x40); }, 0x7E03, Concat({Le32(0x30), Le32(0x40)})},
      {"EnableSoftwareVerify", [](C c) { return c->EnableSoftwareVerify(-1); }, 0x7E0D, Le16(0xFFFF)},
      {"SendTestWaveform", [](C c) { return c->SendTestWaveform(1, 2, 3, 4, 5, 0.5f); }, 0x7E0E, Concat({Le16(1), Le16(2), Le16(4), Le16(5), LeF32(0.5f), Le16(3)})},
      {"EnableGuardCal", [](C c) { return c->EnableGuardCal(1); }, 0x7E0F, Le16(1)},
      {"EnableRefCal", [](C c) { return c->EnableRefCal(2, 1); }, 0x7E10, Concat({Le16(2), Le16(1)})},
      {"EnableSysCal", [](C c) { return c->EnableSysCal(3, 0); }, 0x7E11, Concat({Le16(3), Le16(0)})},
      {"UpdateRefCal", [&](C c) { return c->UpdateRefCal(coeffs); }, 0x7E12, Concat({LeF32(1.5f), LeF32(2.5f), LeF32(3.5f), LeF32(4.5f), LeF32(5.5f), LeF32(6.5f)})},
      {"UpdateGuardCal", [&](C c) { return c->UpdateGuardCal(dac, 0.25f, gains, phases); }, 0x7E13, Concat({Le16(1), Le16(0xFFFE), Le16(3), Le16(4), LeF32(0.25f), reversed})},
      {"UpdateSysCal", [&](C c) { return c->UpdateSysCal(0, 1.0f, gains, phases); }, 0x7E14, Concat({Le16(0), LeF32(1.0f), reversed})},
      {"EnableSafetyMonitor", [](C c) { return c->EnableSafetyMonitor(0); }, 0x7E17, Le16(0)},
      {"RunChipSelectTest", [](C c) { return c->RunChipSelectTest(); }, 0x7E18, {}},
      {"ContinuousWriteReg", [](C c) { return c->ContinuousWriteReg(0x646070, 9); }, 0x7E19, Concat({Le32(0x646070), Le32(9)})},
      {"ContinuousReadReg", [](C c) { return c->ContinuousReadReg(0x644020); }, 0x7E1A, Le32(0x644020)},
      {"StopQ7kTest", [](C c) { return c->StopQ7kTest(); }, 0x0007, {}},
  };
  // clang-format on
  for (const Sent& s : cases) {
    EXPECT_EQ(s.call(comm_.Get()), S_OK) << s.name;
    EXPECT_EQ(LastCommand(), s.command) << s.name;
    EXPECT_EQ(LastPayload(), s.payload) << s.name;
  }
}

TEST_F(ServiceCommandsTest, DecodedReplies) {
  ConnectInProcess([](const Request& r) {
    switch (r.command) {
      case 0x7E01:
        return LineBytes(AckFrame(r.command, Le32(0x80000001)));
      case 0x0012: {
        Bytes block;
        for (int i = 0; i < 11; ++i) block = Concat({block, LeF32(20.0f + i)});
        block = Concat(
            {block, Le16(0), Le16(3), Le16(40000), Le16(50000), Le16(65535)});
        return LineBytes(AckFrame(r.command, block));
      }
      case 0x0015: {
        Bytes values;
        for (int i = 0; i < 6; ++i)
          values = Concat({values, LeF32(100.0f + i)});
        return LineBytes(AckFrame(r.command, values));
      }
      case 0x7E16:
        return LineBytes(AckFrame(
            r.command,
            Concat({Le16(1), Le16(2), Le16(3), Le16(4), Le16(5), LeF32(6),
                    LeF32(7), LeF32(8), LeF32(9), LeF32(10), LeF32(11)})));
      default:
        return LineBytes(AckFrame(r.command, Bytes(8, 0xEE)));
    }
  });
  int32_t value = 0;
  ASSERT_EQ(comm_->RegRead(0x600000, &value), S_OK);
  EXPECT_EQ(value, static_cast<int32_t>(0x80000001));

  // The block's other fields: the result poll's (it shares the decoding).
  t_.AmpInputCurrent = -1.0f;
  ASSERT_EQ(comm_->ReadThermalData(&t_), S_OK);
  EXPECT_EQ(t_.AmpInputCurrent, 25.0f);
  EXPECT_EQ(t_.ExtSensorInserted, -15536);  // 50000 as a signed word

  // Only the main, red and blue poles come from the instrument.
  comm_->put_CalResistor(MRED_RES, 42.0f);
  comm_->put_CalPoleFreq(NBLUE_RES, 43.0f);
  ASSERT_EQ(comm_->ReadRefCalCoeffs(), S_OK);
  using Get = HRESULT (Q7K_STDCALL IQ7kComm::*)(REFCAL_INDEX, float*);
  const std::tuple<Get, REFCAL_INDEX, float> cal[] = {
      {&IQ7kComm::get_CalResistor, MAIN_RES, 100.0f},
      {&IQ7kComm::get_CalPoleFreq, MAIN_RES, 101.0f},
      {&IQ7kComm::get_CalResistor, RED_RES, 102.0f},
      {&IQ7kComm::get_CalPoleFreq, BLUE_RES, 105.0f},
      {&IQ7kComm::get_CalResistor, MRED_RES, 42.0f},
      {&IQ7kComm::get_CalPoleFreq, NBLUE_RES, 43.0f}};
  for (const auto& [get, index, want] : cal) {
    float f = 0;
    (comm_.Get()->*get)(index, &f);
    EXPECT_EQ(f, want);
  }

  Q7K_RAW_DATA raw{};
  raw.FilterType = 2;
  ASSERT_EQ(comm_->RequestRawResults(&raw), S_OK);
  EXPECT_EQ(LastPayload(), Le16(2));
  EXPECT_EQ(raw.FilterType, 2);
  EXPECT_EQ(raw.Ranging, 1);
  EXPECT_EQ(raw.ResultsType, 5);
  EXPECT_EQ(raw.SpecimenPeak, 6.0f);
  EXPECT_EQ(raw.RefVectorY, 11.0f);

  // A reply shorter than its layout leaves the output alone.
  ASSERT_EQ(comm_->ReadCalInfo(), E_FAIL);
  EXPECT_EQ(Code(), 139);
}

}  // namespace
}  // namespace q7k
