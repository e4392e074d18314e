#include "component/error_state.h"

#include <gtest/gtest.h>

#include <vector>

namespace q7k {
namespace {

std::vector<uint8_t> Word(int16_t w) {
  return {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)};
}

// A stop-reason payload: status word then stop-reason bytes.
std::vector<uint8_t> StopReason(uint16_t status, std::vector<uint8_t> bytes) {
  std::vector<uint8_t> d(2 + bytes.size());
  d[0] = static_cast<uint8_t>(status);
  d[1] = static_cast<uint8_t>(status >> 8);
  for (size_t i = 0; i < bytes.size(); ++i) d[2 + i] = bytes[i];
  return d;
}

class ErrorStateTest : public ::testing::Test {
 protected:
  void Record(int32_t number, const std::vector<uint8_t>& details) {
    state_.RecordInstrumentError(number, details.data(), details.size());
  }
  ErrorState state_;
};

TEST_F(ErrorStateTest, InstrumentNumbersWithoutDetails) {
  state_.RecordInstrumentError(5, nullptr, 0);
  EXPECT_EQ(state_.code(), 5);
  EXPECT_EQ(state_.message(),
            u"Not Enough Free Space in FLASH for Application");
  state_.RecordInstrumentError(15, nullptr, 0);
  EXPECT_EQ(state_.code(), -1);
  EXPECT_EQ(state_.message(), u"Undefined Error");
  state_.RecordInstrumentError(-3, nullptr, 0);
  EXPECT_EQ(state_.code(), -1);
  EXPECT_EQ(state_.message(), u"Undefined Error");
  // Details are only read for numbers 11 and up.
  Record(4, Word(2));
  EXPECT_EQ(state_.code(), 4);
  EXPECT_EQ(state_.message(), u"Test is Currently Running");
}

TEST_F(ErrorStateTest, PowerOnSelfTestSubCodes) {
  Record(11, Word(2));
  EXPECT_EQ(state_.code(), 12);
  EXPECT_EQ(state_.message(),
            u"Power On Self Test Error - Static RAM Test Failed");
  Record(11, Word(0));
  EXPECT_EQ(state_.code(), 10);
  EXPECT_EQ(state_.message(), u"Power On Self Test Error - Undefined");
  for (int16_t w : {int16_t{9}, int16_t{4}, int16_t{-1}, int16_t{-32768}}) {
    Record(11, Word(w));
    EXPECT_EQ(state_.code(), -1) << w;
    EXPECT_EQ(state_.message(),
              u"Power On Self Test Error - Undefined Power On Self Test Error");
  }
  // A reply that ends before the sub-code cannot name one.
  Record(11, {0x01});
  EXPECT_EQ(state_.code(), -1);
}

TEST_F(ErrorStateTest, WatchdogTextIsCleanedAndBounded) {
  std::vector<uint8_t> text(70, 'x');
  const char raw[] = "Reset@%\x01\x7f\x80\xff ok";
  std::copy(raw, raw + sizeof raw - 1, text.begin());
  Record(12, text);
  EXPECT_EQ(state_.code(), 20);
  EXPECT_TRUE(state_.watchdogReset());
  const std::u16string expected = u"Watchdog Reset Error - Reset" +
                                  std::u16string(6, u' ') + u" ok" +
                                  std::u16string(64 - 14, u'x');
  EXPECT_EQ(state_.message(), expected);

  // The text ends where the reply's data ends.
  state_.Clear();
  EXPECT_FALSE(state_.watchdogReset());
  Record(12, {'A', 'B'});
  EXPECT_EQ(state_.message(), u"Watchdog Reset Error - AB");
}

TEST_F(ErrorStateTest, InvalidParameterNamesItsNumber) {
  Record(13, {0x41, 0x01, 0, 0});
  EXPECT_EQ(state_.code(), 21);
  EXPECT_EQ(state_.message(), u"Invalid Message Parameter - (Parameter #321)");
  Record(13, Word(-2));
  EXPECT_EQ(state_.message(), u"Invalid Message Parameter - (Parameter #-2)");
}

TEST_F(ErrorStateTest, StopReasonSafetyBits) {
  Record(14, StopReason(0x0088, {}));  // bit 7 wins; bit 3 is ignored anyway
  EXPECT_EQ(state_.code(), 29);
  EXPECT_EQ(state_.message(),
            u"Test Not Running - Safety Circuit DC Supply Low");
  Record(14, StopReason(0x0C00, {}));  // bit 11 wins over bit 10
  EXPECT_EQ(state_.code(), 33);
  Record(14, StopReason(0x0402, {}));  // lowest set bit otherwise
  EXPECT_EQ(state_.code(), 23);
  EXPECT_EQ(state_.message(), u"Test Not Running - Safety Switch 1 Open");
  Record(14, StopReason(0x8000, {}));
  EXPECT_EQ(state_.code(), 37);
  // Only ignored bits: decided by the stop-reason bytes.
  Record(14, StopReason(0x0329, {0, 1}));
  EXPECT_EQ(state_.code(), 39);
  EXPECT_EQ(state_.message(), u"Test Not Running - Phase Lock Loop Not Locked");
}

TEST_F(ErrorStateTest, StopReasonBytes) {
  Record(14, StopReason(0, {0, 0, 2}));
  EXPECT_EQ(state_.code(), 41);
  EXPECT_EQ(state_.message(), u"Test Not Running - Strobe Not Flashing");
  Record(14, StopReason(0, {0, 0, 1}));
  EXPECT_EQ(state_.code(), 40);
  Record(14, StopReason(0, {0, 0, 3}));
  EXPECT_EQ(state_.code(), -1);
  EXPECT_EQ(state_.message(), u"Test Not Running - Undefined Safety Error");
  Record(14, StopReason(0, {0x08}));  // low bits 0: not a reason
  EXPECT_EQ(state_.code(), -1);
  Record(14, StopReason(0, {0, 0, 0, 0, 0x09}));
  EXPECT_EQ(state_.code(), 51);
  EXPECT_EQ(state_.message(),
            u"Test Not Running - Safety Switches Not Released Between Tests");
  std::vector<uint8_t> bytes(19, 0);
  bytes[18] = 1;
  Record(14, StopReason(0, bytes));
  EXPECT_EQ(state_.code(), 65);
  bytes.assign(20, 0);
  bytes[19] = 1;  // beyond the 19 bytes examined
  Record(14, StopReason(0, bytes));
  EXPECT_EQ(state_.code(), -1);
  // A reply without status word or reasons decodes to nothing.
  const uint8_t none = 0;
  state_.RecordInstrumentError(14, &none, 0);
  EXPECT_EQ(state_.code(), -1);
  EXPECT_EQ(state_.message(), u"Test Not Running - Undefined Safety Error");
}

TEST_F(ErrorStateTest, EepromErrorsExtendOrRecord) {
  state_.RecordEepromError(2);
  EXPECT_EQ(state_.code(), 152);
  EXPECT_EQ(state_.message(), u"Error reading EEPROM data");
  state_.Clear();
  state_.RecordInstrumentError(3, nullptr, 0);
  state_.RecordEepromError(4);
  EXPECT_EQ(state_.code(), 3);
  EXPECT_EQ(state_.message(), u"Unsupported Message Board slot not found ");
  state_.RecordEepromError(7);
  EXPECT_EQ(state_.code(), 3);
  EXPECT_EQ(state_.message(), u"Unsupported Message Board slot not found ");
}

TEST_F(ErrorStateTest, AppFileErrorsAppendOnNewLines) {
  state_.RecordAppFileError(-2, false);
  EXPECT_EQ(state_.code(), 82);
  EXPECT_EQ(state_.message(), u"Application file is corrupted.");
  state_.RecordAppFileError(-4, true);
  EXPECT_EQ(state_.code(), 82);
  EXPECT_EQ(state_.message(),
            u"Application file is corrupted.\nError Programming FLASH ROM.  "
            u"Q7310 Firmware not found in FLASH.  Tests cannot be run.");
  state_.Clear();
  state_.RecordAppFileError(-9, false);
  EXPECT_EQ(state_.code(), 89);
  EXPECT_EQ(state_.message(), u"");
}

TEST_F(ErrorStateTest, LanguageAppliesToTextsLoadedLater) {
  state_.RecordInstrumentError(14, nullptr, 0);
  state_.set_language(1);
  EXPECT_EQ(state_.message(), u"Test Not Running");
  state_.RecordEepromError(3);
  EXPECT_EQ(state_.message(),
            u"Test Not Running Nombre de tarjeta no especificado");
  state_.set_language(3);
  state_.SetCode(132, 7426);
  EXPECT_EQ(state_.message(), u"Impossible d'ouvrir le port de communication");
  state_.set_language(7);
  state_.SetCode(133, 7440);
  EXPECT_EQ(state_.code(), 133);
  EXPECT_EQ(state_.message(), u"");
  // SetCode with id 0 keeps the text.
  state_.set_language(0);
  state_.SetCode(4, 7412);
  state_.SetCode(9, 0);
  EXPECT_EQ(state_.code(), 9);
  EXPECT_EQ(state_.message(), u"Test is Currently Running");
}

}  // namespace
}  // namespace q7k
