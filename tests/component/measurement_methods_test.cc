// Post-processing and progress methods through the public API.
#include <gtest/gtest.h>

#include <map>

#include "support/recording_progress_view.h"
#include "support/scripted_component.h"

namespace q7k {
namespace {

using MeasurementMethodsTest = ScriptedComponentTest;

TEST_F(MeasurementMethodsTest, WattsAdjustmentFromTheBackplane) {
  // clang-format off
  const std::map<int, Bytes> stored = {
      {164, Le16(1011)}, {173, Le16(0x0800)}, {230, LeF32(2.0f)},
      {232, LeF32(0.5f)}};
  const struct {
    const char* what;
    std::map<int, Bytes> eeprom;
    CIRC_DESC circuit;
    float kVoltMax, adjustment;
    int lastRead;  // the EEPROM location
    short code;
  } cases[] = {
      {"stored", stored, CIRC_GAR_RB, 10.0f, 0.5f, 232, 0},
      {"scaled to the voltage", stored, CIRC_GAR_RB, 5.0f, 0.125f, 232, 0},
      {"UST circuits keep theirs at 230", stored, CIRC_UST_R, 5.0f, 0.5f, 230,
       0},
      {"before revision 1011", {{164, Le16(1010)}, {173, Le16(0xFFFF)},
       {232, LeF32(0.5f)}}, CIRC_GAR_RB, 10.0f, 0.0f, 173, 0},
      {"flags unreadable", {{164, Le16(1011)}}, CIRC_GAR_RB, 10.0f, 0.0f, 173,
       21},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    comm_->ClearError();
    // The backplane's EEPROM answers word and float reads by location.
    ConnectInProcess([rom = c.eeprom](const Request& r) {
      if ((r.command == 0x7E06 || r.command == 0x7E0A) &&
          r.payload.size() == 6 && r.payload[0] == 0 && r.payload[2] == 0) {
        const auto it = rom.find(r.payload[4] | (r.payload[5] << 8));
        if (it != rom.end()) return LineBytes(AckFrame(r.command, it->second));
      }
      return LineBytes(NakFrame(r.command, 13, Le16(1)));
    });
    Q7K_TEST_PARAMS p{};
    p.CircDesc = c.circuit;
    p.KVoltMax = c.kVoltMax;
    p.WattsAdjustment = 9.0f;
    EXPECT_EQ(comm_->CalcWattsAdjustment(&p), c.code == 0 ? S_OK : E_FAIL);
    EXPECT_FLOAT_EQ(p.WattsAdjustment, c.adjustment);
    EXPECT_EQ(LastPayload(), Concat({Le16(0), Le16(0), Le16(c.lastRead)}));
    EXPECT_EQ(Code(), c.code);
    ErrorInfo info;
    EXPECT_EQ(GetErrorInfo(&info), c.code == 0 ? S_FALSE : S_OK);
  }
}

TEST_F(MeasurementMethodsTest, LineFrequencyRunsAShortTestAndClosesItsWindow) {
  RecordingProgressViews views;
  UseFakeClock();
  ConnectInProcess([](const Request& r) {
    if (r.command == 0x0006) {
      Bytes reply(146, 0);
      const Bytes hz = LeF32(59.95f);
      std::copy(hz.begin(), hz.end(), reply.begin() + 78);
      return LineBytes(AckFrame(r.command, reply));
    }
    return LineBytes(AckFrame(r.command));
  });
  comm_->put_Language(LANGUAGE_SPANISH);
  float hz = 0.0f;
  ASSERT_EQ(comm_->MeasureLineFrequency(1, 2.5f, &hz), S_OK);
  EXPECT_FLOAT_EQ(hz, 59.95f);
  std::vector<uint16_t> commands;
  for (const Request& r : Requests()) commands.push_back(r.command);
  EXPECT_EQ(commands, (std::vector<uint16_t>{3, 4, 5, 6, 7}));
  EXPECT_EQ(
      Requests()[0].payload,
      Concat({Le16(1), Le16(1), Le16(0), Le16(0), Le16(0), Le16(0), Le16(10),
              Le16(3600), LeF32(35.0f), LeF32(0), LeF32(0), LeF32(0)}));
  EXPECT_EQ(Requests()[1].payload,
            Concat({Le16(0), Le16(0), Le16(4), Le16(0), Le16(0), Le16(0),
                    Le16(0), Le16(0), Le16(0), LeF32(60.0f)}));
  ASSERT_FALSE(views.events().empty());
  EXPECT_EQ(views.events().front().kind, ProgressViewEvent::kOpen);
  EXPECT_EQ(views.events().front().state.message,
            u"Por favor espere - Se esta Midiendo la Frecuencia de la Linea");
  EXPECT_EQ(views.events().front().state.title, u"Comunicaciones del Q7300");
  EXPECT_EQ(views.open_views(), 0);

  // Without a port it stops at the first call.
  comm_->ClosePort();
  EXPECT_EQ(comm_->MeasureLineFrequency(1, 10.0f, &hz), E_FAIL);
  EXPECT_EQ(hz, -1.0f);
  EXPECT_EQ(views.open_views(), 0);
}

TEST_F(MeasurementMethodsTest, LineFrequencyStopsItsTestOnEveryLaterFailure) {
  UseFakeClock();  // the measurement's settling waits pass at once
  Bytes spoiled = LineBytes(AckFrame(6, Bytes(146, 0)));
  spoiled[spoiled.size() - 3] ^= 1;  // checksum
  const struct {
    uint16_t failing;
    Bytes reply;
    std::vector<uint16_t> sent;
    short code;
  } cases[] = {
      {5, LineBytes(NakFrame(5, 4)), {3, 4, 5, 7}, 4},
      {6, LineBytes(NakFrame(6, 14)), {3, 4, 5, 6, 7}, -1},
      {6, spoiled, {3, 4, 5, 6, 7}, 138},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    comm_->ClearError();
    // The stop is refused too: its failure must not replace the first.
    ConnectInProcess([&c](const Request& r) {
      if (r.command == c.failing) return c.reply;
      return LineBytes(r.command == 7 ? NakFrame(7, 3) : AckFrame(r.command));
    });
    float hz = 0.0f;
    EXPECT_EQ(comm_->MeasureLineFrequency(0, 10.0f, &hz), E_FAIL);
    EXPECT_EQ(hz, -1.0f);
    std::vector<uint16_t> sent;
    for (const Request& r : Requests()) sent.push_back(r.command);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(Code(), c.code);
    ErrorInfo info;
    ASSERT_EQ(GetErrorInfo(&info), S_OK);
    EXPECT_EQ(Utf16ToUtf8(info.description), Message());
    comm_->ClosePort();
  }
}

TEST_F(MeasurementMethodsTest, ProgressWindowMethods) {
  RecordingProgressViews views;
  EXPECT_EQ(comm_->ShowMsgProgress(0, 100), S_OK);  // no window: nothing
  EXPECT_EQ(comm_->StepMsgProgress(5), S_OK);
  EXPECT_TRUE(views.events().empty());
  comm_->put_Language(LANGUAGE_FRENCH);
  Bstr message = Bstr::FromUtf8("Téléchargement");
  ASSERT_EQ(comm_->DisplayMsgDlg(0, message.get()), S_OK);
  EXPECT_EQ(views.Last().title, u"Communication du Q7300");
  EXPECT_EQ(views.Last().message, u"Téléchargement");
  comm_->ShowMsgProgress(0, 100);
  // Clamping at the limits: ProgressDialogTest.
  for (int i = 0; i < 42; ++i) comm_->StepMsgProgress(1);
  EXPECT_EQ(views.Last().label, u"Terminé: 42 %");
  // An owner that is no window of the host's: nothing is shown.
  EXPECT_EQ(comm_->DisplayMsgDlg(0x7777, message.get()), S_OK);
  EXPECT_EQ(views.open_views(), 0);
  RegisterWindow(0x7777, true);
  EXPECT_EQ(comm_->DisplayMsgDlg(0x7777, message.get()), S_OK);
  EXPECT_EQ(views.open_views(), 1);
  UnregisterWindow(0x7777);
  comm_.Reset();  // destruction closes the window
  e_.Reset();
  cal_.Reset();
  EXPECT_EQ(views.open_views(), 0);
}

}  // namespace
}  // namespace q7k
