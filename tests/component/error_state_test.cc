#include "component/error_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "component/q7k_comm_object.h"
#include "support/in_process_instrument.h"
#include "support/wire.h"

namespace q7k {
namespace {

// A stop-reason payload: status word then stop-reason bytes.
Bytes StopReason(uint16_t status, const Bytes& bytes = {}) {
  return Concat({Le16(status), bytes});
}

// Byte `at` of an otherwise empty stop-reason list set to `value`.
Bytes ReasonAt(size_t at, uint8_t value) {
  Bytes b(at + 1, 0);
  b[at] = value;
  return StopReason(0, b);
}

struct Decoded {
  int32_t number;
  Bytes details;
  short code;
  std::u16string message;  // empty: not checked
};

TEST(ErrorStateTest, InstrumentNumbersDecodeToCodeAndText) {
  const std::u16string stopped = u"Test Not Running - ";
  Bytes watchdog(70, 'x');  // cleaned, and cut to 64 characters
  const char raw[] = "Reset@%\x01\x7f\x80\xff ok";
  std::copy(raw, raw + sizeof raw - 1, watchdog.begin());
  const Decoded cases[] = {
      {15, {}, -1, u"Undefined Error"},
      {-3, {}, -1, u"Undefined Error"},
      {4, Le16(2), 4, u"Test is Currently Running"},  // details from 11 on
      // Power-on self test sub-codes; a reply too short names none.
      {11, Le16(2), 12, u"Power On Self Test Error - Static RAM Test Failed"},
      {11, Le16(0), 10, u"Power On Self Test Error - Undefined"},
      {11, Le16(9), -1,
       u"Power On Self Test Error - Undefined Power On Self Test Error"},
      {11, Le16(4), -1, u""},
      {11, Le16(0xFFFF), -1, u""},
      {11, Le16(0x8000), -1, u""},
      {11, {0x01}, -1, u""},
      {12, {'A', 'B'}, 20, u"Watchdog Reset Error - AB"},
      {12, watchdog, 20,
       u"Watchdog Reset Error - Reset" + std::u16string(6, u' ') + u" ok" +
           std::u16string(64 - 14, u'x')},
      {13, Le16(0xFFFE), 21, u"Invalid Message Parameter - (Parameter #-2)"},
      // Safety bits: bit 7 wins (bit 3 is ignored anyway), bit 11 over 10,
      // else the lowest set bit.
      {14, StopReason(0x0088), 29, stopped + u"Safety Circuit DC Supply Low"},
      {14, StopReason(0x0C00), 33, u""},
      {14, StopReason(0x0402), 23, stopped + u"Safety Switch 1 Open"},
      {14, StopReason(0x8000), 37, u""},
      // Only ignored bits: the stop-reason bytes decide.
      {14, StopReason(0x0329, {0, 1}), 39,
       stopped + u"Phase Lock Loop Not Locked"},
      {14, ReasonAt(2, 1), 40, u""},
      {14, ReasonAt(2, 3), -1, stopped + u"Undefined Safety Error"},
      {14, ReasonAt(0, 0x08), -1, u""},  // low bits 0: not a reason
      {14, ReasonAt(4, 0x09), 51,
       stopped + u"Safety Switches Not Released Between Tests"},
      {14, ReasonAt(18, 1), 65, u""},
      {14, ReasonAt(19, 1), -1, u""},  // beyond the 19 bytes examined
      {14, {}, -1, stopped + u"Undefined Safety Error"},
  };
  const uint8_t none = 0;  // a reply that ends at the error number
  for (const Decoded& c : cases) {
    ErrorState state;
    state.RecordInstrumentError(c.number,
                                c.details.empty() ? &none : c.details.data(),
                                c.details.size());
    SCOPED_TRACE(::testing::Message()
                 << c.number << " with " << c.details.size());
    EXPECT_EQ(state.code(), c.code);
    if (!c.message.empty()) {
      EXPECT_EQ(state.message(), c.message);
    }
    EXPECT_EQ(state.watchdogReset(), c.number == 12);
    state.Clear();
    EXPECT_FALSE(state.watchdogReset());
  }
}

TEST(ErrorStateTest, EepromAndAppFileErrorsExtendOrRecord) {
  ErrorState state;
  state.RecordEepromError(2);
  EXPECT_EQ(state.code(), 152);
  EXPECT_EQ(state.message(), u"Error reading EEPROM data");
  state.Clear();
  state.RecordInstrumentError(3, nullptr, 0);
  state.RecordEepromError(4);
  state.RecordEepromError(7);  // only the first extends
  EXPECT_EQ(state.code(), 3);
  EXPECT_EQ(state.message(), u"Unsupported Message Board slot not found ");

  state.Clear();
  state.RecordAppFileError(-2, false);
  state.RecordAppFileError(-4, true);
  EXPECT_EQ(state.code(), 82);
  EXPECT_EQ(state.message(),
            u"Application file is corrupted.\nError Programming FLASH ROM.  "
            u"Q7310 Firmware not found in FLASH.  Tests cannot be run.");
  state.Clear();
  state.RecordAppFileError(-9, false);
  EXPECT_EQ(state.code(), 89);
  EXPECT_EQ(state.message(), u"");
}

// Later texts only, and an unknown language: ComponentTest.
TEST(ErrorStateTest, ExtensionsAndKeptTextsFollowTheLanguage) {
  ErrorState state;
  state.RecordInstrumentError(14, nullptr, 0);
  state.set_language(1);
  state.RecordEepromError(3);
  EXPECT_EQ(state.message(),
            u"Test Not Running Nombre de tarjeta no especificado");
  // SetCode with id 0 keeps the text.
  state.set_language(0);
  state.SetCode(4, 7412);
  state.SetCode(9, 0);
  EXPECT_EQ(state.code(), 9);
  EXPECT_EQ(state.message(), u"Test is Currently Running");
}

// What keeps a pointer to the error record lets go of it before it goes;
// AddressSanitizer reports the read below otherwise.
TEST(ErrorStateTest, OutlivesWhatRecordsIntoIt) {
  class ReadsRecordAtExit : public InProcessInstrument {
   public:
    ReadsRecordAtExit(ErrorReporter* errors, int32_t* seen)
        : InProcessInstrument(errors, {}), errors_(errors), seen_(seen) {}
    ~ReadsRecordAtExit() override { *seen_ = errors_->code(); }

   private:
    ErrorReporter* errors_;
    int32_t* seen_;
  };
  int32_t seen = 0;
  auto* object = new Q7kCommObject;
  object->AddRef();
  object->AttachTransactor([&](ErrorReporter* errors) {
    errors->SetCode(9, 0);
    return std::make_unique<ReadsRecordAtExit>(errors, &seen);
  });
  object->Release();
  EXPECT_EQ(seen, 9);
}

}  // namespace
}  // namespace q7k
