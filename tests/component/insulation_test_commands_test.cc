// The test commands against a scripted instrument: exact request payloads
// and the decoding of every reply field.
#include <gtest/gtest.h>

#include <chrono>

#include "support/scripted_component.h"

namespace q7k {
namespace {

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

class TestCommandsTest : public ScriptedComponentTest {
 protected:
  // Every command is acknowledged with reply_ as it is at the time.
  void Answer() {
    ConnectInProcess([this](const Request& r) {
      return LineBytes(AckFrame(r.command, reply_));
    });
  }
  HRESULT Poll() { return comm_->FullRequestTestResults(&p_, &d_, &t_); }

  Bytes reply_;
};

TEST_F(TestCommandsTest, ParameterPayloadsByteForByte) {
  Answer();
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

TEST_F(TestCommandsTest, ResultPollDecodesEveryFieldAndKeepsWhileRanging) {
  reply_ = ResultReply(0, 1000.0f, false);
  Answer();
  p_.FilterType = LOWPASS_AVERAGED;
  p_.SamplesToAvg = 0x10020;
  p_.ExtendedResults = -1;  // the full poll always asks with command 6
  d_.SpecimenPeakMin = 7.0f;
  ASSERT_EQ(Poll(), S_OK);
  EXPECT_EQ(LastCommand(), 0x0006);
  EXPECT_EQ(LastPayload(), Concat({Le16(2), Le16(0x0020)}));

  EXPECT_EQ(p_.Ranging + p_.VoltageSettling, 0);
  EXPECT_EQ(p_.NormRevStatus, NR_NOCHANGE);  // sign-extended
  EXPECT_EQ(d_.VoltageScale, 0xFFFE);        // zero-extended
  EXPECT_EQ(d_.CurrentRange, CR_10MA);
  EXPECT_EQ(d_.FilterType, LOWPASS_AVERAGED);
  EXPECT_EQ(d_.SamplesAveraged, 33);
  const std::pair<float, float> floats[] = {
      {d_.KVoltMeas, 1000},      {d_.KVoltCalc, 1001},
      {d_.Watts, 1003},          {d_.SpecCurrentMag, 1010},
      {d_.ParallelRes, 1016},    {d_.FrequencyMeas, 1050},
      {d_.SpecimenPeak, 1051},   {d_.ReferencePeak, 1052},
      {t_.ExtTemperature, 1100}, {t_.CooldownTemp, 1110},
      {d_.XfmrCurrent, 1104},    {t_.XfmrCurrent, 1104},
      {d_.InputCurrent, 1105}};
  for (const auto& [got, want] : floats) EXPECT_EQ(got, want) << want;
  const std::pair<int, int> words[] = {{t_.HeatingStatus, 5},
                                       {t_.XfmrOverheatTime, 0xFFFF},
                                       {t_.XfmrCooldownTime, 0x8001},
                                       {t_.ExtSensorInserted, 1},
                                       {t_.IntCurrentCounter, 0xFFF0}};
  for (const auto& [got, want] : words) EXPECT_EQ(got, want) << want;
  EXPECT_EQ(d_.SpecimenPeakMin, 7.0f);  // a normal reply has none

  // Ranging keeps the previous results but for the live readings.
  reply_ = ResultReply(1, 500.0f, false);
  ASSERT_EQ(Poll(), S_OK);
  EXPECT_EQ(p_.Ranging, 1);
  const std::pair<float, float> ranging[] = {
      {d_.Watts, 1003},        {d_.PowerFactor, 1004},  {d_.SpecimenPeak, 1051},
      {d_.KVoltMeas, 500},     {d_.FrequencyMeas, 550}, {d_.ReferencePeak, 552},
      {t_.ExtTemperature, 600}};
  for (const auto& [got, want] : ranging) EXPECT_EQ(got, want) << want;
  reply_ = ResultReply(2, 500.0f, false);
  ASSERT_EQ(Poll(), S_OK);
  EXPECT_EQ(p_.Ranging, 0);
  EXPECT_EQ(p_.VoltageSettling, 1);
  EXPECT_EQ(d_.Watts, 503.0f);

  // A short reply touches nothing; one longer than a normal reply claims
  // the extended layout, 158 bytes. Its code and text: InstrumentLinkTest.
  for (const bool extended : {false, true}) {
    reply_ = ResultReply(0, 9.0f, extended);
    reply_.resize(extended ? 150 : 145);
    EXPECT_EQ(Poll(), E_FAIL);
    EXPECT_EQ(d_.KVoltMeas, 500.0f);
    EXPECT_EQ(t_.ExtTemperature, 600.0f);
  }
}

TEST_F(TestCommandsTest, ExtendedPollsRunTheToggleMachine) {
  Answer();
  p_.ExtendedResults = -1;
  auto poll = [&](bool extended, int16_t toggle, int16_t stable) {
    reply_ = ResultReply(0, 1.0f, extended, toggle, stable);
    ASSERT_EQ(comm_->RequestTestResults(&p_), S_OK);
    ASSERT_EQ(comm_->ReceiveTestResults(&p_, &d_, &t_), S_OK);
    EXPECT_EQ(LastCommand(), 0x0016);
  };
  poll(true, 1, 0);  // not waiting: remember the state
  EXPECT_EQ(p_.SavedStateVcToggle, 1);
  EXPECT_EQ(d_.SpecimenPeakMin, 61.0f - 0.0f);
  EXPECT_EQ(d_.SpecimenPeakMax, 62.0f);
  p_.WaitingForVcToggle = -1;
  poll(true, 1, 0);  // same state: still waiting
  EXPECT_EQ(p_.WaitingForVcToggle, -1);
  EXPECT_EQ(p_.WaitingForVcStable, 0);
  poll(true, 0, 0);  // toggled: now wait for the stable flag
  EXPECT_EQ(p_.WaitingForVcToggle, 0);
  EXPECT_EQ(p_.WaitingForVcStable, 1);
  poll(true, 0, 0);
  EXPECT_EQ(p_.WaitingForVcStable, 1);
  poll(true, 0, 1);
  EXPECT_EQ(p_.WaitingForVcStable, 0);

  // A normal reply counts as toggle state 0.
  p_.WaitingForVcToggle = 1;
  p_.SavedStateVcToggle = 1;
  poll(false, 0, 1);
  EXPECT_EQ(p_.WaitingForVcToggle, 0);
  EXPECT_EQ(p_.WaitingForVcStable, 1);
}

TEST_F(TestCommandsTest, ApplicationInformation) {
  const std::string fields = "Q7I     12/04/2615:18:1901.20.02";
  const std::string description = "Measurement firmware, full width";
  reply_.assign(64, 0);
  std::copy(fields.begin(), fields.end(), reply_.begin());
  std::copy(description.begin(), description.end(), reply_.begin() + 32);
  Answer();
  ASSERT_EQ(comm_->ReadAppInfo(), S_OK);
  EXPECT_EQ(LastCommand(), 0x0001);
  EXPECT_TRUE(LastPayload().empty());
  const std::pair<HRESULT (Q7K_STDCALL IQ7kComm::*)(BSTR*), const char*> got[] =
      {{&IQ7kComm::get_AppName, "Q7I     "},
       {&IQ7kComm::get_AppDate, "12/04/26"},
       {&IQ7kComm::get_AppTime, "15:18:19"},
       {&IQ7kComm::get_AppVersion, "01.20.02"},
       {&IQ7kComm::get_AppDescription, description.c_str()}};
  for (const auto& [get, want] : got) {
    Bstr text;
    (comm_.Get()->*get)(text.out());
    EXPECT_EQ(text.utf8(), want);
  }
}

TEST_F(TestCommandsTest, StartWaitsAndWithoutAPortFailsSilently) {
  SetSerialPortPath(kPort, dir_.File("absent"));
  EXPECT_EQ(comm_->OpenPort(kPort, BPS_9600), E_FAIL);
  comm_->ClosePort();
  ClearErrorInfo();
  EXPECT_EQ(comm_->StartQ7kTest(&p_), E_FAIL);
  ErrorInfo info;
  EXPECT_EQ(GetErrorInfo(&info), S_FALSE);  // no tail for this one
  EXPECT_EQ(comm_->StopQ7kTest(), E_FAIL);
  EXPECT_EQ(GetErrorInfo(&info), S_OK);  // the tail republishes

  // The settling wait after the start is the port's own.
  SetSerialPortPath(kPort, pty_.slavePath());
  UseFakeClock();
  Connect([](const Request& r) { return LineBytes(AckFrame(r.command)); });
  EXPECT_EQ(comm_->StartQ7kTest(&p_), S_OK);
  EXPECT_EQ(clock_->Elapsed(), std::chrono::milliseconds(2000));
  EXPECT_EQ(LastCommand(), 0x0005);
}

TEST_F(TestCommandsTest, RuntimeUpdateWithoutAPortStillRestartsRanging) {
  UseFakeClock();
  comm_->put_SimulMode(SIMUL_XREF);
  comm_->put_SimulFast(1);
  p_.KVolt = p_.KVoltMax = 10.0f;
  p_.Frequency = 60.0f;
  ASSERT_EQ(comm_->OpenPort(kPort, BPS_9600), S_OK);
  ASSERT_EQ(comm_->StartQ7kTest(&p_), S_OK);
  // Seven ranging polls, as Q7kCliTest counts them.
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Poll(), S_OK);
  EXPECT_EQ(p_.Ranging, 0);
  comm_->ClosePort();
  Q7K_RUNTM_PARAMS run{};
  run.Frequency = 50.0f;
  EXPECT_EQ(comm_->UpdateRuntimeParams(&run), E_FAIL);
  ASSERT_EQ(Poll(), S_OK);  // no port
  EXPECT_EQ(p_.Ranging, 1);
}

}  // namespace
}  // namespace q7k
