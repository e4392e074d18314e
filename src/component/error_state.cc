#include "component/error_state.h"

#include <cstdio>

#include "link/le_bytes.h"
#include "platform/codepage.h"
#include "resources/catalog.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

constexpr size_t kWatchdogTextMax = 64;
constexpr size_t kStopReasonBytesMax = 19;

// Reads the little-endian signed word at the start of details; false when
// the reply did not carry it.
bool ReadWord(const uint8_t* details, size_t length, int16_t* out) {
  if (details == nullptr || length < 2) return false;
  *out = LoadI16(details);
  return true;
}

}  // namespace

void ErrorState::Clear() {
  message_.clear();
  watchdogReset_ = false;
  code_ = kNoError;
}

std::u16string ErrorState::LoadText(int32_t baseId) const {
  return AnsiToWide(CatalogText(baseId, language_));
}

void ErrorState::SetCode(int32_t code, int32_t id) {
  code_ = code;
  if (id != 0) message_ = LoadText(id);
}

void ErrorState::RecordInstrumentError(int32_t number, const uint8_t* details,
                                       size_t length) {
  // A negative number is no instrument error the catalog knows either.
  if (number >= kFirstUnknownInstrumentError || number < 0) {
    code_ = kUnclassifiedError;
    message_ = LoadText(ids::kUndefinedError);
    return;
  }
  code_ = number;
  message_ = LoadText(ids::kInstrumentErrorFirst + number);
  if (details == nullptr) return;

  switch (number) {
    case kInstrumentSelfTest: {  // sub-code word
      int16_t w = 0;
      std::u16string detail;
      if (ReadWord(details, length, &w) && w >= 0 && w < kSelfTestSubCodes) {
        code_ = kSelfTestCode + w;
        detail = LoadText(ids::kSelfTestFirst + w);
      } else {
        // Sub-codes below 0 or missing are as unknown as those above 3.
        code_ = kUnclassifiedError;
        detail = LoadText(ids::kUndefinedSelfTest);
      }
      message_ += u" - " + detail;
      break;
    }
    case kInstrumentWatchdogReset: {  // a text from the instrument
      code_ = kWatchdogResetCode;
      watchdogReset_ = true;
      std::u16string text;
      const size_t n = length < kWatchdogTextMax ? length : kWatchdogTextMax;
      for (size_t i = 0; i < n; ++i) {
        const uint8_t b = details[i];
        const bool printable = b >= 0x20 && b <= 0x7E && b != '@' && b != '%';
        text += printable ? static_cast<char16_t>(b) : u' ';
      }
      message_ += u" - " + text;
      break;
    }
    case kInstrumentBadParameter: {  // the parameter's number
      code_ = kBadParameterCode;
      int16_t parameter = 0;
      ReadWord(details, length, &parameter);
      char number_text[16];
      std::snprintf(number_text, sizeof number_text, "%d)", parameter);
      message_ +=
          u" - (" + LoadText(ids::kParameterNumber) + AnsiToWide(number_text);
      break;
    }
    case kInstrumentTestNotRunning:  // why the test stopped
      AppendStopReason(details, length);
      break;
    default:
      break;
  }
}

void ErrorState::AppendStopReason(const uint8_t* details, size_t length) {
  code_ = kUnclassifiedError;
  int16_t status_word = 0;
  ReadWord(details, length, &status_word);
  const uint16_t s = static_cast<uint16_t>(status_word) &
                     static_cast<uint16_t>(~kIgnoredSafetyBits);
  int32_t text = ids::kUndefinedSafety;
  if (s != 0) {
    int bit = 0;
    if (s & (1u << 7)) {
      bit = 7;
    } else if (s & (1u << 11)) {
      bit = 11;
    } else {
      while (!(s & (1u << bit))) ++bit;
    }
    code_ = kSafetyBitCode + bit;
    text = ids::kSafetyBitFirst + bit;
  } else {
    const size_t available = length > 2 ? length - 2 : 0;
    const size_t scan =
        available < kStopReasonBytesMax ? available : kStopReasonBytesMax;
    for (size_t i = 0; i < scan; ++i) {
      const uint8_t low_bits = details[2 + i] & 0x07;
      if (low_bits == 0) continue;
      if (i == kStrobeByte) {
        if (low_bits == 1 || low_bits == 2) {
          code_ = kStrobeCode + low_bits;
          text = ids::kStrobeFirst + low_bits;
        }
      } else {
        code_ = static_cast<int32_t>(i) +
                (i < kStrobeByte ? kEarlyStopReasonCode : kLateStopReasonCode);
        text = ids::kStopReasonFirst + static_cast<int32_t>(i);
      }
      break;
    }
  }
  message_ += u" - " + LoadText(text);
}

void ErrorState::RecordEepromError(int32_t errorClass) {
  int32_t id = 0;
  switch (errorClass) {
    case kEepromReadFailed:
    case kEepromSafeWriteFailed:  // reads as a failed read to the user
      id = ids::kEepromRead;
      break;
    case kEepromNoBoardName:
      id = ids::kBoardNameMissing;
      break;
    case kEepromNoBoardSlot:
      id = ids::kBoardSlotMissing;
      break;
    default:
      return;
  }
  const std::u16string text = LoadText(id);
  if (!message_.empty()) {
    message_ += u" " + text;
  } else {
    code_ = EepromErrorCode(errorClass);
    message_ = text;
  }
}

void ErrorState::RecordAppFileError(int32_t error, bool firmware) {
  if (code_ == kNoError) code_ = AppFileErrorCode(error);
  if (error > kAppFileUnreadable || error < kAppNeedsUpdate) return;
  const int32_t first = firmware ? ids::kFirmwareFileFirst : ids::kAppFileFirst;
  const std::u16string text = LoadText(first + (kAppFileUnreadable - error));
  if (!message_.empty()) message_ += u"\n";
  message_ += text;
}

}  // namespace q7k
