// Board EEPROMs through the public API against the virtual instrument:
// single values, whole-board transfers, safe writes that keep a board
// consistent, the calibration survey and the board identity queries.
#include <functional>

#include "support/emulated_component.h"

namespace q7k {
namespace {

using emu::EepromWords;

class EepromBoardTest : public EmulatedComponentTest {
 protected:
  void SetUp() override {
    EmulatedComponentTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(Start());
  }
  EepromWords Board(short slot, short subslot) {
    return emulator_->WithModel([&](emu::InstrumentModel& m) {
      return *m.boards().Find(slot, subslot);
    });
  }
  // Changes a board's words, sealing its checksum unless told not to.
  void Edit(short slot, short subslot, std::function<void(EepromWords&)> edit,
            bool seal = true) {
    EepromWords w = Board(slot, subslot);
    edit(w);
    if (seal) emu::SealChecksum(&w);
    emulator_->WithModel([&](emu::InstrumentModel& m) {
      return m.boards().Replace(slot, subslot, w);
    });
  }
  short Field(HRESULT (Q7K_STDCALL IQ7kCalStatus::*get)(short, short*),
              short i) {
    short v = -99;
    EXPECT_EQ((cal_.Get()->*get)(i, &v), S_OK);
    return v;
  }
};

TEST_F(EepromBoardTest, RequestsCarryTheDocumentedPayloads) {
  short s = 0, word = 0;
  float f = 0;
  const short words[32] = {0x0102};
  const float floats[16] = {1.0f};
  struct Case {
    std::function<HRESULT()> call;
    uint16_t command;
    std::vector<uint8_t> payload;
  };
  const Case cases[] = {
      {[&] { return e_->CalculateChecksum(6, 1, &s); }, 0x7E0C, {6, 0, 1, 0}},
      {[&] { return e_->WriteFloat(2, 0, 10, 1.0f); },
       0x7E08,
       {2, 0, 0, 0, 10, 0, 0x00, 0x00, 0x80, 0x3F}},
      {[&] { return e_->ReadFloat(2, 0, 10, &f); },
       0x7E0A,
       {2, 0, 0, 0, 10, 0}},
      {[&] { return e_->WriteLong(2, 0, 10, -2); },
       0x7E08,
       {2, 0, 0, 0, 10, 0, 0xFE, 0xFF, 0xFF, 0xFF}},
      {[&] { return e_->WriteInt(2, 0, 1, -3); },
       0x7E04,
       {2, 0, 0, 0, 1, 0, 0xFD, 0xFF}},
      {[&] { return e_->ReadInt(2, 0, 1, &word); }, 0x7E06, {2, 0, 0, 0, 1, 0}},
      {[&] { return e_->ReadHeader(0, 2, &s); }, 0x7E06, {0, 0, 2, 0, 0, 0}},
      {[&] { return e_->Write32(2, 0, 100, words); }, 0x7E05, {}},
      {[&] { return e_->WriteFloat16(2, 0, 100, floats); }, 0x7E09, {}},
  };
  for (const Case& c : cases) {
    emulator_->ClearRequests();
    ASSERT_EQ(c.call(), S_OK) << std::hex << c.command;
    const auto requests = emulator_->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, c.command);
    if (!c.payload.empty()) {
      EXPECT_EQ(requests[0].payload, c.payload);
    }
  }
  EXPECT_EQ(f, 1.0f);
  EXPECT_EQ(word, -3);
  const EepromWords board = Board(2, 0);
  EXPECT_EQ(board[101], 0x3F80);  // the float16 write came last
  EXPECT_EQ(board[1], 0xFFFD);
  float back[16] = {};
  ASSERT_EQ(e_->ReadFloat16(2, 0, 100, back), S_OK);
  EXPECT_EQ(back[0], 1.0f);
  short block[32] = {}, sum = 5;
  ASSERT_EQ(e_->Read32(2, 0, 100, block, &sum), S_OK);
  uint16_t expected = 5;
  for (int i = 0; i < 32; ++i) expected += board[100 + i];
  EXPECT_EQ(static_cast<uint16_t>(sum), expected);
}

TEST_F(EepromBoardTest, WholeBoardRoundTrip) {
  ASSERT_EQ(e_->ReadContents(0, 0), S_OK);
  short checksum = -1;
  e_->get_Checksum(&checksum);
  EXPECT_EQ(checksum, 0);
  Bstr name;
  e_->get_ValChars(11, 32, name.out());
  EXPECT_EQ(name.utf8(), "Q7300 Backplane");

  // Edit the image, keep its sum 0 by hand, and write it to another board.
  short k = 0;
  e_->get_ValInt(255, &k);
  e_->put_ValInt(44, 0x1234);
  e_->put_ValInt(255, static_cast<short>(k - 0x1234));
  ASSERT_EQ(e_->WriteContents(2, 0), S_OK);
  EepromWords expected = Board(0, 0);
  expected[44] = 0x1234;
  expected[255] = static_cast<uint16_t>(k - 0x1234);
  EXPECT_EQ(Board(2, 0), expected);
  EXPECT_EQ(emu::WordSum(expected), 0);
}

TEST_F(EepromBoardTest, TransfersStopAtTheFailingBlock) {
  ASSERT_TRUE(emulator_->AddFault("nak=13,0300@cmd=0x7E07@every=2"));
  EXPECT_EQ(e_->ReadContents(0, 0), E_FAIL);
  const EepromWords board = Board(0, 0);
  for (short i = 0; i < 256; ++i) {
    short v = 0;
    e_->get_ValInt(i, &v);
    ASSERT_EQ(static_cast<uint16_t>(v), i < 32 ? board[i] : 0) << i;
  }
  EXPECT_EQ(Code(), 21);

  emulator_->ClearFaults();
  ASSERT_TRUE(emulator_->AddFault("nak=13,0300@cmd=0x7E05@every=3"));
  emulator_->ClearRequests();
  EXPECT_EQ(e_->WriteContents(1, 0), E_FAIL);
  EXPECT_EQ(emulator_->Requests().size(), 3u);

  // A single value that fails reads as zero.
  ASSERT_TRUE(emulator_->AddFault("nak=13,0300"));
  short word = 1;
  float value = 1.0f;
  EXPECT_EQ(e_->ReadInt(0, 0, 1, &word), E_FAIL);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(e_->ReadFloat(0, 0, 1, &value), E_FAIL);
  EXPECT_EQ(value, 0.0f);
  comm_->ClosePort();
  EXPECT_EQ(e_->ReadInt(0, 0, 2, &word), E_FAIL);  // no port
}

TEST_F(EepromBoardTest, SafeWritesKeepTheBoardConsistent) {
  short block[32];
  float floats[16];
  for (int i = 0; i < 32; ++i) block[i] = static_cast<short>(0x100 + i);
  for (int i = 0; i < 16; ++i) floats[i] = 0.5f * static_cast<float>(i);
  struct Case {
    const char* name;
    std::function<HRESULT()> write;
    int advance;  // of the write count
    short location;
    uint16_t value;  // expected there afterwards
  };
  const Case cases[] = {
      {"int", [&] { return e_->SafeWriteInt(0, 1, 40, 0x42); }, 3, 40, 0x42},
      {"int at the checksum word",
       [&] { return e_->SafeWriteInt(0, 1, 255, 0x42); }, 3, 0, 0x5A0F},
      {"float", [&] { return e_->SafeWriteFloat(0, 1, 60, 1.0f); }, 4, 61,
       0x3F80},
      {"32 words", [&] { return e_->SafeWrite32(0, 1, 200, block); }, 34, 231,
       0x11F},
      {"16 floats", [&] { return e_->SafeWriteFloat16(0, 1, 100, floats); }, 34,
       131, 0x40F0},
      {"board header", [&] { return e_->SafeWriteBoardHeader(0, 1); }, 41, 11,
       ('Q' | ('7' << 8))},
      {"factory cal header", [&] { return e_->SafeWriteCalHeader(0, 1, 1); },
       10, 65, 26},
      {"field cal header", [&] { return e_->SafeWriteCalHeader(0, 1, -1); }, 10,
       165, 30},
  };
  // The image holds the backplane, whose headers go to board (0, 1).
  ASSERT_EQ(e_->ReadContents(0, 0), S_OK);
  e_->put_ValInt(36, 0x3636);  // outside the board header
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EepromWords before = Board(0, 1);
    ASSERT_EQ(c.write(), S_OK) << Message();
    const EepromWords after = Board(0, 1);
    EXPECT_EQ(after[c.location], c.value);
    EXPECT_EQ(after[1], static_cast<uint16_t>(before[1] + c.advance));
    EXPECT_EQ(emu::WordSum(after), 0);
    EXPECT_EQ(after[36], before[36]);
  }
}

TEST_F(EepromBoardTest, SafeWriteArithmeticAndReadBack) {
  // Write count 100, checksum word 5000, and word 100 to make it add up.
  Edit(
      7, 0,
      [](EepromWords& w) {
        w[1] = 100;
        w[40] = 0x41;
        w[255] = 5000;
        w[100] = 0;
        w[100] = static_cast<uint16_t>(0x10000 - emu::WordSum(w));
      },
      false);
  ASSERT_EQ(emu::WordSum(Board(7, 0)), 0);
  ASSERT_EQ(e_->SafeWriteInt(7, 0, 40, 0x42), S_OK) << Message();
  EXPECT_EQ(Board(7, 0)[1], 103);
  EXPECT_EQ(Board(7, 0)[255], 4996);

  // The commit alone: 9 to the write count, 7 to the checksum word; the
  // board is then no longer consistent, which the final check reports.
  ASSERT_EQ(e_->SafeUpdate(7, 0, 7, 9), E_FAIL);
  EXPECT_EQ(Board(7, 0)[1], 9);
  EXPECT_EQ(Board(7, 0)[255], 7);
  EXPECT_EQ(Code(), 152);

  // A value that does not read back stops the write.
  comm_->ClearError();
  emulator_->SetBoardWriteFault(6, 0, 0x0100);
  const EepromWords before = Board(6, 0);
  emulator_->ClearRequests();
  EXPECT_EQ(e_->SafeWriteInt(6, 0, 40, 0x42), E_FAIL);
  EXPECT_EQ(Code(), 152);
  const EepromWords after = Board(6, 0);
  EXPECT_EQ(after[40], 0x142);
  EXPECT_EQ(after[1], before[1]);
  EXPECT_EQ(after[255], before[255]);
  int writes = 0;
  for (const auto& r : emulator_->Requests()) writes += r.command == 0x7E04;
  EXPECT_EQ(writes, 1);
}

constexpr short kSurveyOrder[] = {GUARD_CAL,      MAIN_REF_CAL,   FIELD_REF_CAL,
                                  MODESWITCH_CAL, BP_FACTORY_CAL, BP_FIELD_CAL};

TEST_F(EepromBoardTest, ConsistentInstrumentIsCalibratedEverywhere) {
  for (short type : kSurveyOrder) {
    ASSERT_EQ(cal_->CheckCalStatus(type, 1), S_OK) << type;
    EXPECT_EQ(Field(&IQ7kCalStatus::get_CalStatus, type), 1) << type;
    EXPECT_EQ(Field(&IQ7kCalStatus::get_ChecksumStatus, type), 1) << type;
    EXPECT_EQ(Field(&IQ7kCalStatus::get_CalStatusError, type), 0) << type;
  }
  EXPECT_EQ(Field(&IQ7kCalStatus::get_ReportedStatus, MODESWITCH_CAL), 2);
  int32_t serial = 0;
  cal_->get_CalSerialNumber(BP_FACTORY_CAL, &serial);
  EXPECT_EQ(serial, 9945);
  // A calibration found valid that the caller calls not done disagrees.
  ASSERT_EQ(cal_->CheckCalStatus(GUARD_CAL, 0), S_OK);
  EXPECT_EQ(Field(&IQ7kCalStatus::get_CalStatusError, GUARD_CAL), 1);
}

TEST_F(EepromBoardTest, EachWayOfBreakingACalibrationShows) {
  using Get = HRESULT (Q7K_STDCALL IQ7kCalStatus::*)(short, short*);
  const Get fields[] = {&IQ7kCalStatus::get_CalStatus,
                        &IQ7kCalStatus::get_ChecksumStatus,
                        &IQ7kCalStatus::get_CalValidFactors,
                        &IQ7kCalStatus::get_CalSerialNumError,
                        &IQ7kCalStatus::get_CalStatusError};
  struct Case {
    const char* name;
    short slot, subslot;
    std::function<void(EepromWords&)> edit;
    bool seal;
    short judged;     // the record that shows it
    short values[5];  // of the fields above
  };
  // clang-format off
  const Case cases[] = {
      {"bad checksum", 6, 0, [](EepromWords& w) { w[100] ^= 1; }, false,
       GUARD_CAL, {0, 0, 25, 0, 1}},
      {"missing factor bit", 0, 2, [](EepromWords& w) { w[58] = 2; }, true,
       MAIN_REF_CAL, {0, 1, 1, 0, 1}},
      {"serial number mismatch", 7, 0, [](EepromWords& w) { w[27] = 27; },
       true, BP_FACTORY_CAL, {0, 1, 26, 1, 1}},
      {"switch with a bad checksum spoils no block", 7, 0,
       [](EepromWords& w) { w[100] ^= 1; }, false, BP_FIELD_CAL,
       {1, 1, 30, 0, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EepromWords saved = Board(c.slot, c.subslot);
    Edit(c.slot, c.subslot, c.edit, c.seal);
    for (short type : kSurveyOrder)
      ASSERT_EQ(cal_->CheckCalStatus(type, 1), S_OK);
    for (size_t i = 0; i < std::size(fields); ++i) {
      EXPECT_EQ(Field(fields[i], c.judged), c.values[i]) << "field " << i;
    }
    Edit(c.slot, c.subslot, [&](EepromWords& w) { w = saved; });
  }
  EXPECT_EQ(Field(&IQ7kCalStatus::get_CalStatus, MODESWITCH_CAL), 1);
}

TEST_F(EepromBoardTest, MissingBoards) {
  // A backplane block checked first finds no sound boards to rely on.
  ASSERT_EQ(cal_->CheckCalStatus(BP_FACTORY_CAL, 1), S_OK);
  EXPECT_EQ(Field(&IQ7kCalStatus::get_CalStatus, BP_FACTORY_CAL), 0);
  EXPECT_EQ(Field(&IQ7kCalStatus::get_CalSerialNumError, BP_FACTORY_CAL), 1);

  emulator_->WithModel([](emu::InstrumentModel& m) {
    return m.boards().Remove(0, 2) && m.boards().Remove(6, 0);
  });
  EXPECT_EQ(cal_->CheckCalStatus(MAIN_REF_CAL, 1), E_FAIL);
  EXPECT_EQ(Field(&IQ7kCalStatus::get_ReportedStatus, MAIN_REF_CAL), 0);
  comm_->ClearError();
  // The search stops at the missing slot 6 and reports both errors.
  EXPECT_EQ(cal_->CheckCalStatus(GUARD_CAL, 1), E_FAIL);
  EXPECT_EQ(Code(), 21);
  EXPECT_NE(Message().find(" Board slot not found "), std::string::npos);
  EXPECT_EQ(Field(&IQ7kCalStatus::get_ReportedStatus, GUARD_CAL), -1);
}

TEST_F(EepromBoardTest, BoardIdentity) {
  int32_t value = 0;
  ASSERT_EQ(comm_->ReadQ7ISerialNumber(&value), S_OK);
  EXPECT_EQ(value, 129400373);
  ASSERT_EQ(comm_->ReadAssySerialNumber(6, 0, &value), S_OK);
  EXPECT_EQ(value, 4687);
  ASSERT_EQ(comm_->ReadGuardBoardRev(&value), S_OK);
  EXPECT_EQ(value, 'G');
  Bstr text;
  ASSERT_EQ(comm_->ReadXfmrSerialNumber(text.out()), S_OK);
  EXPECT_EQ(text.utf8(), "T-765432");
  ASSERT_EQ(comm_->ReadCalDate(6, 0, text.out()), S_OK);
  EXPECT_EQ(text.utf8(), "12/15/94");
  short date[3] = {};
  Edit(0, 0, [](EepromWords& w) { emu::PutText(&w, 166, "0 ab-7", 6); });
  ASSERT_EQ(comm_->ReadCalDateInt(0, 0, 1, date), S_OK);
  EXPECT_EQ(date[0] * 10000 + date[1] * 100 + date[2], 0 + 0 - 7);

  short slot = 0;
  ASSERT_EQ(comm_->FindBoardSlot(Bstr(u"29331").get(), &slot), S_OK);
  EXPECT_EQ(slot, 6);
  EXPECT_EQ(comm_->FindBoardSlot(Bstr(u"").get(), &slot), E_INVALIDARG);
  EXPECT_EQ(slot, -1);
  EXPECT_EQ(Code(), 153);
  comm_->ClearError();
  // The search ends at the empty slot 5, refused by the instrument.
  EXPECT_EQ(comm_->FindBoardSlot(Bstr(u"9999").get(), &slot), E_FAIL);
  EXPECT_EQ(Message(),
            "Invalid Message Parameter - (Parameter #1) Board slot not found ");

  // The third word read fails: what was read so far still comes back.
  comm_->ClearError();
  ASSERT_TRUE(emulator_->AddFault("nak=13,0300@cmd=0x7E06@every=3"));
  EXPECT_EQ(comm_->ReadCalDate(6, 0, text.out()), E_FAIL);
  EXPECT_EQ(text.utf8(), "12/15/");
}

TEST_F(EepromBoardTest, CalibrationPoolFromTheBoards) {
  Edit(0, 3, [](EepromWords& w) {
    w[50] = 0xFFEC;  // -20
    for (int i = 0; i < 6; ++i)
      w[65 + 2 * i] = static_cast<uint16_t>(0x3F80 + i);
  });
  short revision = 0;
  ASSERT_EQ(e_->ReadCalDataRevision(&revision), S_OK);
  EXPECT_EQ(revision, -1);
  for (int i = 0; i < 5; ++i) comm_->put_CalResistor(REFCAL_INDEX(i), -1.0f);
  ASSERT_EQ(e_->ReadCalCoeffs(0), S_OK);
  float r[5];
  for (int i = 0; i < 5; ++i) comm_->get_CalResistor(REFCAL_INDEX(i), &r[i]);
  EXPECT_EQ(r[MAIN_RES], -1.0f);
  EXPECT_EQ(r[MRED_RES], -1.0f);
  EXPECT_EQ(r[RED_RES], 1.0f);
  EXPECT_GT(r[BLUE_RES], 1.0f);
  ASSERT_EQ(e_->ReadCalCoeffs(1), S_OK);
  comm_->get_CalResistor(NBLUE_RES, &r[NBLUE_RES]);
  comm_->get_CalResistor(MRED_RES, &r[MRED_RES]);
  EXPECT_EQ(r[MRED_RES], r[BLUE_RES]);
  EXPECT_GT(r[NBLUE_RES], r[MRED_RES]);

  // The local reset stays when sending the defaults fails.
  ASSERT_EQ(e_->SetCalPoolToDefault(), S_OK);
  EXPECT_EQ(emulator_->Requests().back().command, 0x7E14);
  comm_->put_GainCoeffs(3, 5.0f);
  comm_->ClosePort();
  EXPECT_EQ(e_->SetCalPoolToDefault(), E_FAIL);
  float gain = 0;
  comm_->get_GainCoeffs(3, &gain);
  EXPECT_EQ(gain, 1.0f);

  ASSERT_EQ(comm_->OpenPort(kComPort, BPS_115200), S_OK);
  emulator_->WithModel(
      [](emu::InstrumentModel& m) { return m.boards().Remove(0, 0); });
  EXPECT_EQ(e_->ReadSysCoeffs(1), E_FAIL);
  comm_->get_GainCoeffs(0, &gain);
  EXPECT_EQ(gain, 10.0f);
}

}  // namespace
}  // namespace q7k
