// The built-in instrument through the component: each simulated method's
// answer and the instrument's time it takes, the board inventory, and what
// a command without a simulated answer does. The boards' contents are the
// virtual instrument's too, read end to end by EepromBoardTest.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <type_traits>

#include "support/component_fixture.h"

namespace q7k {
namespace {

class SimulatedBoardsTest : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    comm_->put_SimulMode(SIMUL_EXC);
    comm_->put_SimulFast(1);
  }
};

// A call's result and what it read: a number, or a text. The value is read
// (or computed) only once the call has returned.
struct Got {
  HRESULT result;
  double number = 0;
  std::string text;
};
Got Read(HRESULT result) { return {result, 0, ""}; }
template <typename T>
Got Read(HRESULT result, const T& value) {
  if constexpr (std::is_invocable_v<T>) {
    return Read(result, value());
  } else if constexpr (std::is_same_v<T, Bstr>) {
    return {result, 0, value.utf8()};
  } else {
    return {result, static_cast<double>(value), ""};
  }
}

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
    float gain = 0, phase = 1;
    comm_->get_GainCoeffs(9, &gain);
    comm_->get_PhaseCoeffs(9, &phase);
    EXPECT_EQ(Get(&IQ7kComm::get_CalRevision), revision);
    EXPECT_EQ(gain, 1.0f);
    EXPECT_EQ(phase, 0.0f);
  }
  comm_->put_SimulBoxType(3);
  short revision = 0;
  ASSERT_EQ(e_->ReadCalDataRevision(&revision), S_OK);
  EXPECT_EQ(revision, 3);
}

// On a port created in simulation, without fast: every answer takes the
// instrument's time (an exchange through the port 100 ms), and the
// simulator's values come back through the component.
TEST_F(SimulatedBoardsTest, EachAnswerItsValueAndItsTime) {
  UseFakeClock();
  comm_->put_SimulFast(0);
  // Without a simulated answer a command still needs a port.
  EXPECT_EQ(comm_->EnableGuardCal(1), E_FAIL);
  SetSerialPortPath(6, dir_.File("no-such-device"));
  ASSERT_EQ(comm_->OpenPort(static_cast<Q7K_PORT>(6), BPS_9600), S_OK);
  SetSerialPortPath(6, "");
  short word = 0, block[32] = {}, date[4] = {-1, -1, -1, -1};
  int32_t value = 0;
  float floats[16] = {}, f = 0;
  Q7K_RAW_DATA raw{};
  raw.NumGroups = 3;
  Bstr text;
  auto status = [&](HRESULT (Q7K_STDCALL IQ7kCalStatus::*get)(short, short*)) {
    (cal_.Get()->*get)(BP_FIELD_CAL, &word);
    return word;
  };
  const struct {
    const char* name;
    int ms;  // -1: its time is not the point here
    std::function<Got()> call;
    double number = 0;
    const char* text = "";
    HRESULT result = S_OK;
    short code = 0;
  } answers[] = {
      // clang-format off
      {"StartPONSequence", 100, [&] { return Read(comm_->StartPONSequence()); }},
      {"EnableGuardCal", 100, [&] { return Read(comm_->EnableGuardCal(1)); }},
      {"RequestRawResults: nothing decoded", 100, [&] { return Read(comm_->RequestRawResults(&raw), raw.NumGroups); }, 3},
      {"ReadThermalData", 500, [&] { return Read(comm_->ReadThermalData(&t_), t_.ExtSensorInserted); }, 1},
      {"ReadFlashDirectory", 100, [&] { return Read(comm_->ReadFlashDirectory()); }},
      {"ReadHeader, even of an empty slot", 500, [&] { return Read(e_->ReadHeader(3, 0, &word), word); }, 0x5A0F},
      {"Read32", 100, [&] { return Read(e_->Read32(0, 0, 0, block, &word)); }},
      {"Write32", 500, [&] { return Read(e_->Write32(0, 0, 0, block)); }},
      {"ReadFloat16", 100, [&] { return Read(e_->ReadFloat16(0, 0, 0, floats)); }},
      {"WriteFloat16", 100, [&] { return Read(e_->WriteFloat16(0, 0, 0, floats)); }},
      {"ReadInt", 0, [&] { return Read(e_->ReadInt(0, 0, 164, &word), word); }, 1021},
      {"ReadInt 172", 0, [&] { return Read(e_->ReadInt(0, 0, 172, &word), word); }, -1},
      {"ReadInt 173", 0, [&] { return Read(e_->ReadInt(0, 0, 173, &word), word); }, 0x3FFF},
      {"ReadInt of another board", 0, [&] { return Read(e_->ReadInt(1, 0, 164, &word), word); }, 0},
      {"ReadInt past the image zeroes", 0, [&] { word = 9; return Read(e_->ReadInt(0, 0, 300, &word), word); }, 0, "", E_INVALIDARG},
      {"ReadFloat", 0, [&] { f = 5; return Read(e_->ReadFloat(0, 0, 230, &f), f); }, 0},
      {"ReadQ7ISerialNumber", 100, [&] { return Read(comm_->ReadQ7ISerialNumber(&value), value); }, 1234567890},
      {"ReadAssySerialNumber", -1, [&] { return Read(comm_->ReadAssySerialNumber(0, 3, &value), value); }, 343434},
      {"ReadXfmrSerialNumber", 100, [&] { return Read(comm_->ReadXfmrSerialNumber(text.out()), text); }, 0, "T-98765"},
      {"ReadCalDateInt", 100, [&] { return Read(comm_->ReadCalDateInt(0, 0, 1, date), [&] { return date[0] * 10000 + date[1] * 100 + date[2]; }); }, 81897},
      {"ReadCalDate", 100, [&] { return Read(comm_->ReadCalDate(0, 0, text.out()), text); }, 0, "04/14/87"},
      {"FindBoardSlot", 100, [&] { return Read(comm_->FindBoardSlot(Bstr(u"1357").get(), &word), word); }, 7},
      {"CheckCalStatus", 100, [&] { return Read(cal_->CheckCalStatus(BP_FIELD_CAL, 0), [&] { return 10 * status(&IQ7kCalStatus::get_CalStatus) + status(&IQ7kCalStatus::get_ReportedStatus); }); }, 11},
      {"CheckCalStatus of an unknown kind", 0, [&] { return Read(cal_->CheckCalStatus(7, 1)); }, 0, "", E_FAIL, 153},
      {"ReadGuardBoardRev", -1, [&] { return Read(comm_->ReadGuardBoardRev(&value)); }, 0, "", E_FAIL, 154},
      // A safe write cannot verify what it wrote.
      {"SafeWriteInt", -1, [&] { return Read(e_->SafeWriteInt(0, 0, 40, 0)); }, 0, "", E_FAIL, 152},
      {"SafeWrite32", -1, [&] { return Read(e_->SafeWrite32(0, 0, 64, block)); }, 0, "", E_FAIL, 152},
      {"SafeWriteFloat", -1, [&] { return Read(e_->SafeWriteFloat(0, 0, 64, 0.0f)); }, 0, "", E_FAIL, 152},
      {"SafeWriteFloat16", -1, [&] { return Read(e_->SafeWriteFloat16(0, 0, 64, floats)); }, 0, "", E_FAIL, 152},
      {"SafeWriteBoardHeader", -1, [&] { return Read(e_->SafeWriteBoardHeader(0, 0)); }, 0, "", E_FAIL, 152},
      {"SafeWriteCalHeader", -1, [&] { return Read(e_->SafeWriteCalHeader(0, 0, 1)); }, 0, "", E_FAIL, 152},
      // The first read after a write echoes it; then fixed values.
      {"RegWrite", 0, [&] { return Read(comm_->RegWrite(0x123, 7)); }},
      {"RegRead of the write", 0, [&] { return Read(comm_->RegRead(0x123, &value), value); }, 7},
      {"RegRead 0x642010", 0, [&] { return Read(comm_->RegRead(0x642010, &value), value); }, 2},
      {"RegRead 0x644020", 0, [&] { return Read(comm_->RegRead(0x644020, &value), value); }, 4485},
      {"RegRead 0x646070", 0, [&] { return Read(comm_->RegRead(0x646070, &value), value); }, 252},
      {"RegRead 0x600000", 0, [&] { return Read(comm_->RegRead(0x600000, &value), value); }, 0x2000},
      {"RegRead of the write again", 0, [&] { return Read(comm_->RegRead(0x123, &value), value); }, 0x2000},
      {"RegOr", 0, [&] { return Read(comm_->RegOr(0x123, 1)); }},
      {"RegAnd", 0, [&] { return Read(comm_->RegAnd(0x123, 0)); }},
      {"ReadRefCalCoeffs", 0, [&] { return Read(comm_->ReadRefCalCoeffs(), [&] { comm_->get_CalResistor(MAIN_RES, &f); return f; }); }, 1201539.875f},
      {"ReadCalInfo", 0, [&] { return Read(comm_->ReadCalInfo()); }},
      {"CalcWattsAdjustment", 0, [&] { return Read(comm_->CalcWattsAdjustment(&p_), p_.WattsAdjustment); }, 0.0025f},
      {"fast: ReadThermalData", 0, [&] { return Read((comm_->put_SimulFast(1), comm_->ReadThermalData(&t_)), t_.ExtTemperature); }, 28.5f},
      // clang-format on
  };
  for (const auto& a : answers) {
    SCOPED_TRACE(a.name);
    comm_->ClearError();
    const auto before = clock_->Elapsed();
    const Got got = a.call();
    if (a.ms >= 0) {
      EXPECT_EQ(clock_->Elapsed() - before, std::chrono::milliseconds(a.ms));
    }
    EXPECT_EQ(got.result, a.result);
    EXPECT_EQ(got.number, a.number);
    EXPECT_EQ(got.text, a.text);
    EXPECT_EQ(Code(), a.code);
  }
  // No record for a kind of calibration that does not exist.
  EXPECT_EQ(cal_->InitCalStatusData(6), E_INVALIDARG);
  EXPECT_EQ(cal_->get_CalStatus(6, &word), S_OK);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(cal_->get_CalDate(6, text.out()), S_OK);
  EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace q7k
