// The test commands against a scripted instrument: exact request payloads
// and the decoding of every reply field.
#include <gtest/gtest.h>

#include <chrono>

#include "support/scripted_component.h"

namespace q7k {
namespace {

using TestCommandsTest = ScriptedComponentTest;

// A result reply: status, then every field with a recognisable value.
Bytes ResultReply(int16_t status, float base, bool extended, int16_t toggle = 0,
                  int16_t stable = 0) {
  Bytes r = Concat({Le16(status), Le16(static_cast<uint16_t>(-1)), Le16(0xFFFE),
                    Le16(7), Le16(2), LeF32(base)});
  for (int i = 0; i < 16; ++i) r = Concat({r, LeF32(base + 1 + i)});
  r = Concat(
      {r, LeF32(base + 50), LeF32(base + 51), LeF32(base + 52), Le16(33)});
  for (int i = 0; i < 11; ++i) r = Concat({r, LeF32(base + 100 + i)});
  r = Concat({r, Le16(5), Le16(0xFFFF), Le16(0x8001), Le16(1), Le16(0xFFF0)});
  EXPECT_EQ(r.size(), 146u);
  if (extended) {
    r = Concat({r, Le16(static_cast<uint16_t>(toggle)),
                Le16(static_cast<uint16_t>(stable)), LeF32(base + 60),
                LeF32(base + 61)});
  }
  return r;
}

TEST_F(TestCommandsTest, ParameterPayloadsByteForByte) {
  ConnectInProcess(
      [](const Request& r) { return LineBytes(AckFrame(r.command)); });
  Q7K_INIT_PARAMS init{};
  init.LineType = LINE_SYNC_TEST;
  init.VoltageSource = SRC_EXTERNAL;
  init.BeeperEnable = -1;
  init.StrobeEnforce = 0;
  init.SafetySwitchEnforce = -1;
  init.LVInsertEnforce = 1;
  init.MaxVolts = 12;
  init.XfmrMaxTempTime = 0x12345;  // only the low 16 bits travel
  init.XfmrTemp = 35.0f;
  init.ExtRefCapacitance = 1e-9f;
  init.ExtRefResistance = 2.5f;
  init.ExtRefPwrFactor = -0.5f;
  ASSERT_EQ(comm_->InitTestParams(&init), S_OK);
  EXPECT_EQ(LastCommand(), 0x0003);
  EXPECT_EQ(LastPayload(),
            Concat({Le16(1), Le16(1), Le16(0xFFFF), Le16(0), Le16(0xFFFF),
                    Le16(1), Le16(12), Le16(0x2345), LeF32(35.0f), LeF32(1e-9f),
                    LeF32(2.5f), LeF32(-0.5f)}));

  Q7K_RUNTM_PARAMS run{};
  run.ModeLatch1 = ML1_NONE;
  run.ModeLatch2 = ML2_UST_BLUE;
  run.ReferenceType = EXT_RESISTOR;
  run.AcDcTest = DC_TEST;
  run.EnableVoltCorrect = VC_RESET_EXCITE;
  run.TestPhase = NR_NOCHANGE;
  run.TestVoltage = 10000;
  run.VoltageScale = -2;
  run.CurrentRange = CR_300UA;
  run.Frequency = 50.0f;
  run.SamplesToAvg = 99;  // not part of the payload
  ASSERT_EQ(comm_->UpdateRuntimeParams(&run), S_OK);
  EXPECT_EQ(LastCommand(), 0x0004);
  EXPECT_EQ(LastPayload(),
            Concat({Le16(0), Le16(42), Le16(3), Le16(1), Le16(3), Le16(0xFFFF),
                    Le16(10000), Le16(0xFFFE), Le16(10), LeF32(50.0f)}));
}

TEST_F(TestCommandsTest, ResultPollDecodesEveryField) {
  ConnectInProcess([](const Request& r) {
    return LineBytes(AckFrame(r.command, ResultReply(0, 1000.0f, false)));
  });
  Q7K_TEST_PARAMS p{};
  p.FilterType = LOWPASS_AVERAGED;
  p.SamplesToAvg = 0x10020;
  p.ExtendedResults = -1;  // the full poll always asks with command 6
  Q7K_TEST_DATA d{};
  d.SpecimenPeakMin = 7.0f;
  Q7K_THERMAL_DATA t{};
  ASSERT_EQ(comm_->FullRequestTestResults(&p, &d, &t), S_OK);
  EXPECT_EQ(LastCommand(), 0x0006);
  EXPECT_EQ(LastPayload(), Concat({Le16(2), Le16(0x0020)}));

  EXPECT_EQ(p.Ranging + p.VoltageSettling, 0);
  EXPECT_EQ(p.NormRevStatus, NR_NOCHANGE);  // sign-extended
  EXPECT_EQ(d.VoltageScale, 0xFFFE);        // zero-extended
  EXPECT_EQ(d.CurrentRange, CR_10MA);
  EXPECT_EQ(d.FilterType, LOWPASS_AVERAGED);
  EXPECT_EQ(d.SamplesAveraged, 33);
  const std::pair<float, float> floats[] = {
      {d.KVoltMeas, 1000},      {d.KVoltCalc, 1001},
      {d.Watts, 1003},          {d.SpecCurrentMag, 1010},
      {d.ParallelRes, 1016},    {d.FrequencyMeas, 1050},
      {d.SpecimenPeak, 1051},   {d.ReferencePeak, 1052},
      {t.ExtTemperature, 1100}, {t.CooldownTemp, 1110},
      {d.XfmrCurrent, 1104},    {t.XfmrCurrent, 1104},
      {d.InputCurrent, 1105}};
  for (const auto& [got, want] : floats) EXPECT_EQ(got, want) << want;
  const std::pair<int, int> words[] = {{t.HeatingStatus, 5},
                                       {t.XfmrOverheatTime, 0xFFFF},
                                       {t.XfmrCooldownTime, 0x8001},
                                       {t.ExtSensorInserted, 1},
                                       {t.IntCurrentCounter, 0xFFF0}};
  for (const auto& [got, want] : words) EXPECT_EQ(got, want) << want;
  EXPECT_EQ(d.SpecimenPeakMin, 7.0f);  // a normal reply has none
}

TEST_F(TestCommandsTest, RangingKeepsThePreviousResults) {
  int16_t status = 0;
  float base = 100.0f;
  ConnectInProcess([&](const Request& r) {
    return LineBytes(AckFrame(r.command, ResultReply(status, base, false)));
  });
  Q7K_TEST_PARAMS p{};
  Q7K_TEST_DATA d{};
  Q7K_THERMAL_DATA t{};
  ASSERT_EQ(comm_->FullRequestTestResults(&p, &d, &t), S_OK);
  status = 1;
  base = 500.0f;
  ASSERT_EQ(comm_->FullRequestTestResults(&p, &d, &t), S_OK);
  EXPECT_EQ(p.Ranging, 1);
  EXPECT_EQ(d.Watts, 103.0f);
  EXPECT_EQ(d.PowerFactor, 104.0f);
  EXPECT_EQ(d.SpecimenPeak, 151.0f);
  EXPECT_EQ(d.KVoltMeas, 500.0f);
  EXPECT_EQ(d.FrequencyMeas, 550.0f);
  EXPECT_EQ(d.ReferencePeak, 552.0f);
  EXPECT_EQ(t.ExtTemperature, 600.0f);
  status = 2;
  ASSERT_EQ(comm_->FullRequestTestResults(&p, &d, &t), S_OK);
  EXPECT_EQ(p.Ranging, 0);
  EXPECT_EQ(p.VoltageSettling, 1);
  EXPECT_EQ(d.Watts, 503.0f);
}

TEST_F(TestCommandsTest, ExtendedPollsRunTheToggleMachine) {
  int16_t toggle = 1, stable = 0;
  bool extended = true;
  ConnectInProcess([&](const Request& r) {
    return LineBytes(
        AckFrame(r.command, ResultReply(0, 1.0f, extended, toggle, stable)));
  });
  Q7K_TEST_PARAMS p{};
  p.ExtendedResults = -1;
  Q7K_TEST_DATA d{};
  Q7K_THERMAL_DATA t{};
  auto poll = [&] {
    ASSERT_EQ(comm_->RequestTestResults(&p), S_OK);
    ASSERT_EQ(comm_->ReceiveTestResults(&p, &d, &t), S_OK);
    EXPECT_EQ(LastCommand(), 0x0016);
  };
  poll();  // not waiting: remember the state
  EXPECT_EQ(p.SavedStateVcToggle, 1);
  EXPECT_EQ(d.SpecimenPeakMin, 61.0f - 0.0f);
  EXPECT_EQ(d.SpecimenPeakMax, 62.0f);
  p.WaitingForVcToggle = -1;
  poll();  // same state: still waiting
  EXPECT_EQ(p.WaitingForVcToggle, -1);
  EXPECT_EQ(p.WaitingForVcStable, 0);
  toggle = 0;
  poll();  // toggled: now wait for the stable flag
  EXPECT_EQ(p.WaitingForVcToggle, 0);
  EXPECT_EQ(p.WaitingForVcStable, 1);
  poll();
  EXPECT_EQ(p.WaitingForVcStable, 1);
  stable = 1;
  poll();
  EXPECT_EQ(p.WaitingForVcStable, 0);

  // A normal reply counts as toggle state 0.
  extended = false;
  p.WaitingForVcToggle = 1;
  p.SavedStateVcToggle = 1;
  poll();
  EXPECT_EQ(p.WaitingForVcToggle, 0);
  EXPECT_EQ(p.WaitingForVcStable, 1);
}

TEST_F(TestCommandsTest, ShortResultRepliesTouchNothing) {
  Bytes reply = ResultReply(0, 9.0f, false);
  reply.resize(145);
  ConnectInProcess(
      [&](const Request& r) { return LineBytes(AckFrame(r.command, reply)); });
  Q7K_TEST_PARAMS p{};
  Q7K_TEST_DATA d{};
  Q7K_THERMAL_DATA t{};
  EXPECT_EQ(comm_->FullRequestTestResults(&p, &d, &t), E_FAIL);
  EXPECT_EQ(Code(), 139);
  EXPECT_EQ(Message(), "Invalid Message Length");
  EXPECT_EQ(d.KVoltMeas, 0.0f);
  // Longer than a normal reply claims the extended layout, 158 bytes.
  reply = ResultReply(0, 9.0f, true);
  reply.resize(150);
  EXPECT_EQ(comm_->FullRequestTestResults(&p, &d, &t), E_FAIL);
  EXPECT_EQ(Code(), 139);
  EXPECT_EQ(d.KVoltMeas, 0.0f);
  EXPECT_EQ(t.ExtTemperature, 0.0f);
}

TEST_F(TestCommandsTest, ApplicationInformation) {
  ConnectInProcess([](const Request& r) {
    Bytes app(64, 0);
    const std::string fields = "Q7I     12/04/2615:18:1901.20.02";
    std::copy(fields.begin(), fields.end(), app.begin());
    const std::string description = "Measurement firmware, full width";
    std::copy(description.begin(), description.end(), app.begin() + 32);
    return LineBytes(AckFrame(r.command, app));
  });
  ASSERT_EQ(comm_->ReadAppInfo(), S_OK);
  EXPECT_EQ(LastCommand(), 0x0001);
  EXPECT_TRUE(LastPayload().empty());
  const std::pair<HRESULT (IQ7kComm::*)(BSTR*), const char*> fields[] = {
      {&IQ7kComm::get_AppName, "Q7I     "},
      {&IQ7kComm::get_AppDate, "12/04/26"},
      {&IQ7kComm::get_AppTime, "15:18:19"},
      {&IQ7kComm::get_AppVersion, "01.20.02"},
      {&IQ7kComm::get_AppDescription, "Measurement firmware, full width"}};
  for (const auto& [get, want] : fields) {
    Bstr text;
    (comm_.Get()->*get)(text.out());
    EXPECT_EQ(text.utf8(), want);
  }
}

TEST_F(TestCommandsTest, StartWaitsAndWithoutAPortFailsSilently) {
  Q7K_TEST_PARAMS p{};
  SetSerialPortPath(kPort, dir_.File("absent"));
  EXPECT_EQ(comm_->OpenPort(static_cast<Q7K_PORT>(kPort), BPS_9600), E_FAIL);
  comm_->ClosePort();
  ClearErrorInfo();
  EXPECT_EQ(comm_->StartQ7kTest(&p), E_FAIL);
  ErrorInfo info;
  EXPECT_EQ(GetErrorInfo(&info), S_FALSE);  // no tail for this one
  EXPECT_EQ(comm_->StopQ7kTest(), E_FAIL);
  EXPECT_EQ(GetErrorInfo(&info), S_OK);  // the tail republishes

  SetSerialPortPath(kPort, pty_.slavePath());
  UseFakeClock();
  Connect([](const Request& r) { return LineBytes(AckFrame(r.command)); });
  EXPECT_EQ(comm_->StartQ7kTest(&p), S_OK);
  EXPECT_EQ(clock_->Elapsed(), std::chrono::milliseconds(2000));
  EXPECT_EQ(LastCommand(), 0x0005);
}

TEST_F(TestCommandsTest, RuntimeUpdateWithoutAPortStillRestartsRanging) {
  UseFakeClock();
  comm_->put_SimulMode(SIMUL_XREF);
  comm_->put_SimulFast(1);
  Q7K_TEST_PARAMS p{};
  p.KVolt = p.KVoltMax = 10.0f;
  p.Frequency = 60.0f;
  Q7K_TEST_DATA d{};
  Q7K_THERMAL_DATA t{};
  ASSERT_EQ(comm_->OpenPort(static_cast<Q7K_PORT>(kPort), BPS_9600), S_OK);
  ASSERT_EQ(comm_->StartQ7kTest(&p), S_OK);
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(comm_->FullRequestTestResults(&p, &d, &t), S_OK);
    EXPECT_EQ(p.Ranging, i < 7 ? 1 : 0) << i;
  }
  EXPECT_FLOAT_EQ(d.Amperes, 0.004567f);
  EXPECT_FLOAT_EQ(d.Watts, 23.45f);
  comm_->ClosePort();
  Q7K_RUNTM_PARAMS run{};
  run.Frequency = 50.0f;
  EXPECT_EQ(comm_->UpdateRuntimeParams(&run), E_FAIL);
  ASSERT_EQ(comm_->FullRequestTestResults(&p, &d, &t), S_OK);  // no port
  EXPECT_EQ(p.Ranging, 1);
}

}  // namespace
}  // namespace q7k
