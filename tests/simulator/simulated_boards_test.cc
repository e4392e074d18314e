// The simulated board inventory and the fixed simulated answers of the
// EEPROM, calibration and board identity methods. The boards' contents are
// the virtual instrument's too, read end to end by EepromBoardTest.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace {

class SimulatedBoardsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm_.AsVoidOut()),
              S_OK);
    ASSERT_EQ(comm_.As(IID_IQ7kEeprom, &e_), S_OK);
    ASSERT_EQ(comm_.As(IID_IQ7kCalStatus, &cal_), S_OK);
    comm_->put_SimulMode(SIMUL_EXC);
    comm_->put_SimulFast(1);
  }
  short Code() {
    short c = 0;
    comm_->get_ErrorCode(&c);
    return c;
  }
  ComPtr<IQ7kComm> comm_;
  ComPtr<IQ7kEeprom> e_;
  ComPtr<IQ7kCalStatus> cal_;
};

TEST_F(SimulatedBoardsTest, EveryAddressGivesASealedImage) {
  const struct {
    short slot, subslot;
    const char* name;
    const char* mnemonic;  // cut to four characters
    int32_t serial;
  } cases[] = {
      {0, 3, "Cal Ref Protection", "CRP", 1824},
      {6, 5, "Q7300 Guard", "QGB", 4687},  // the subslot is ignored
      {8, 2, "Heater / LV Power Supply", "HLVP", 4770},
      {5, 0, "", "", 0},
      {0, 4, "", "", 0},
      {-1, 0, "", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(e_->ReadContents(c.slot, c.subslot), S_OK);
    Bstr name, mnemonic;
    e_->get_ValChars(11, 32, name.out());
    e_->get_ValChars(29, 8, mnemonic.out());
    EXPECT_EQ(name.utf8(), c.name);
    EXPECT_EQ(mnemonic.utf8(), c.mnemonic);
    int32_t serial = -1;
    e_->get_ValLong(27, &serial);
    EXPECT_EQ(serial, c.serial);
    uint16_t sum = 0;
    for (short i = 0; i < 256; ++i) {
      short v = 0;
      e_->get_ValInt(i, &v);
      sum = static_cast<uint16_t>(sum + v);
    }
    EXPECT_EQ(sum, 0);
  }
}

TEST_F(SimulatedBoardsTest, CoefficientsComeFromTheSimulatedBackplane) {
  for (const auto& [block, revision] :
       {std::pair<short, short>{1, 1000}, {0, 1031}}) {
    ASSERT_EQ(e_->ReadContents(5, 0), S_OK);  // any image before
    ASSERT_EQ(e_->ReadSysCoeffs(block), S_OK);
    short read = 0;
    float gain = 0, phase = 1;
    comm_->get_CalRevision(&read);
    comm_->get_GainCoeffs(9, &gain);
    comm_->get_PhaseCoeffs(9, &phase);
    EXPECT_EQ(read, revision);
    EXPECT_EQ(gain, 1.0f);
    EXPECT_EQ(phase, 0.0f);
  }
  comm_->put_SimulBoxType(3);
  short revision = 0;
  ASSERT_EQ(e_->ReadCalDataRevision(&revision), S_OK);
  EXPECT_EQ(revision, 3);
}

TEST_F(SimulatedBoardsTest, FixedAnswers) {
  short word = 0;
  int32_t value = 0;
  EXPECT_EQ(e_->ReadHeader(3, 0, &word), S_OK);  // even for an empty slot
  EXPECT_EQ(word, 0x5A0F);
  EXPECT_EQ(comm_->ReadQ7ISerialNumber(&value), S_OK);
  EXPECT_EQ(value, 1234567890);
  EXPECT_EQ(comm_->ReadAssySerialNumber(0, 3, &value), S_OK);
  EXPECT_EQ(value, 343434);
  short date[4] = {-1, -1, -1, -1};
  EXPECT_EQ(comm_->ReadCalDateInt(0, 0, 1, date), S_OK);
  EXPECT_EQ(date[0] * 10000 + date[1] * 100 + date[2], 81897);
  Bstr text;
  EXPECT_EQ(comm_->ReadCalDate(0, 0, text.out()), S_OK);
  EXPECT_EQ(text.utf8(), "04/14/87");
  EXPECT_EQ(comm_->ReadXfmrSerialNumber(text.out()), S_OK);
  EXPECT_EQ(text.utf8(), "T-98765");

  short slot = 0;
  EXPECT_EQ(comm_->FindBoardSlot(Bstr(u"1357").get(), &slot), S_OK);
  EXPECT_EQ(slot, 7);
  EXPECT_EQ(comm_->ReadGuardBoardRev(&value), E_FAIL);
  EXPECT_EQ(Code(), 154);

  short status = 0;
  EXPECT_EQ(cal_->CheckCalStatus(BP_FIELD_CAL, 0), S_OK);
  cal_->get_CalStatus(BP_FIELD_CAL, &status);
  EXPECT_EQ(status, 1);
  cal_->get_ReportedStatus(BP_FIELD_CAL, &status);
  EXPECT_EQ(status, 1);

  // No calibration of an unknown kind, and no record for it.
  comm_->ClearError();
  EXPECT_EQ(cal_->CheckCalStatus(7, 1), E_FAIL);
  EXPECT_EQ(Code(), 153);
  EXPECT_EQ(cal_->InitCalStatusData(6), E_INVALIDARG);
  EXPECT_EQ(cal_->get_CalStatus(6, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(cal_->get_CalDate(6, text.out()), S_OK);
  EXPECT_TRUE(text.empty());
}

TEST_F(SimulatedBoardsTest, SafeWritesEndInAVerificationFailure) {
  const short block[32] = {};
  const float floats[16] = {};
  const std::function<HRESULT()> writes[] = {
      [&] { return e_->SafeWriteInt(0, 0, 40, 0); },
      [&] { return e_->SafeWrite32(0, 0, 64, block); },
      [&] { return e_->SafeWriteFloat(0, 0, 64, 0.0f); },
      [&] { return e_->SafeWriteFloat16(0, 0, 64, floats); },
      [&] { return e_->SafeWriteBoardHeader(0, 0); },
      [&] { return e_->SafeWriteCalHeader(0, 0, 1); },
  };
  for (size_t i = 0; i < std::size(writes); ++i) {
    comm_->ClearError();
    EXPECT_EQ(writes[i](), E_FAIL) << i;
    EXPECT_EQ(Code(), 152) << i;
  }
}

}  // namespace
}  // namespace q7k
