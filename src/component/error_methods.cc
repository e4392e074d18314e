// The error properties and the two list methods of IQ7kComm.
#include <cstdio>
#include <cstring>
#include <vector>

#include "component/q7k_comm_object.h"
#include "link/error_codes.h"
#include "link/instrument_link.h"
#include "link/link_errors.h"
#include "platform/bstr_text.h"
#include "platform/codepage.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

std::u16string CodePrefix(int32_t code) {
  char text[24];
  std::snprintf(text, sizeof text, "[%d] ", code);
  return AnsiToWide(text);
}

HRESULT ReturnList(const std::u16string& list, BSTR* pVal) {
  *pVal = list.empty() ? nullptr : NewBstr(list);
  return S_OK;
}

// One sample reply for each index of the instrument's error code space, as
// the list walks it.
struct Sample {
  int32_t number;
  std::vector<uint8_t> details;  // empty: no payload
};

Sample SampleFor(int32_t i) {
  auto word = [](int32_t v) {
    return std::vector<uint8_t>{
        static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  };
  auto stop_reason = [](int32_t status_bit, int32_t byte_index, uint8_t value) {
    std::vector<uint8_t> d(65, 0);
    if (status_bit >= 0) {
      const uint16_t status = static_cast<uint16_t>(1u << status_bit);
      d[0] = static_cast<uint8_t>(status);
      d[1] = static_cast<uint8_t>(status >> 8);
    }
    if (byte_index >= 0) d[2 + byte_index] = value;
    return d;
  };
  constexpr int32_t kUnknown = kFirstUnknownInstrumentError + 1;
  constexpr int32_t kStopped = kInstrumentTestNotRunning;
  constexpr int32_t kStrobe = ErrorState::kStrobeByte;
  constexpr int32_t kStrobeValues = 2;  // low bits 1 and 2 have texts
  if (i < kInstrumentSelfTest) return {i, {}};
  if (i < kSelfTestCode + kSelfTestSubCodes) {
    return {kInstrumentSelfTest, word(i - kSelfTestCode)};
  }
  if (i < kWatchdogResetCode) return {kUnknown, {}};
  if (i == kWatchdogResetCode) {
    std::vector<uint8_t> d(65, 0);
    const char text[] = "Woof Woof Woof";
    std::memcpy(d.data(), text, sizeof text - 1);
    return {kInstrumentWatchdogReset, d};
  }
  if (i == kBadParameterCode) return {kInstrumentBadParameter, word(321)};
  if (i < kEarlyStopReasonCode) {
    // An ignored safety bit leaves nothing to decode: the plain text.
    const int32_t bit = i - kSafetyBitCode;
    if ((ErrorState::kIgnoredSafetyBits >> bit) & 1u) return {kStopped, {}};
    return {kStopped, stop_reason(bit, -1, 0)};
  }
  if (i < kEarlyStopReasonCode + kStrobe) {
    return {kStopped, stop_reason(-1, i - kEarlyStopReasonCode, 1)};
  }
  if (i <= kStrobeCode + kStrobeValues) {
    return {kStopped,
            stop_reason(-1, kStrobe, static_cast<uint8_t>(i - kStrobeCode))};
  }
  if (i <= kLateStopReasonCode + kStrobe) return {kUnknown, {}};
  return {kStopped, stop_reason(-1, i - kLateStopReasonCode, 1)};
}

}  // namespace

HRESULT Q7kCommObject::get_LastError(short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<short>(errorState_->code());
  errorState_->Clear();
  return S_OK;
}

HRESULT Q7kCommObject::get_ErrorCode(short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<short>(errorState_->code());
  return S_OK;
}

HRESULT Q7kCommObject::get_ErrorMsg(BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  return ReturnList(errorState_->message(), pVal);
}

HRESULT Q7kCommObject::get_Language(Q7K_LANGUAGE* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<Q7K_LANGUAGE>(errorState_->language());
  return S_OK;
}

HRESULT Q7kCommObject::put_Language(Q7K_LANGUAGE newVal) {
  const auto lock = Serialize();
  errorState_->set_language(newVal);
  return S_OK;
}

HRESULT Q7kCommObject::ClearError() {
  const auto lock = Serialize();
  errorState_->Clear();
  return S_OK;
}

HRESULT Q7kCommObject::ListCommErrors(BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (!link_) return S_FALSE;
  std::u16string list;
  for (int32_t n = kLinkOk; n >= kPortInUse; --n) {
    const int32_t id = link_->ErrorMessageId(n);
    if (id == 0 || id == ids::kUndefinedError) continue;
    const std::u16string text = errorState_->LoadText(id);
    if (text.empty()) continue;
    list += CodePrefix(n) + text + u"\n";
  }
  return ReturnList(list, pVal);
}

HRESULT Q7kCommObject::ListAppErrors(BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  std::u16string list;
  for (int32_t i = 0; i <= 64; ++i) {
    const Sample sample = SampleFor(i);
    errorState_->RecordInstrumentError(
        sample.number, sample.details.empty() ? nullptr : sample.details.data(),
        sample.details.size());
    if (errorState_->message().empty()) continue;
    list += CodePrefix(errorState_->code()) + errorState_->message() + u"\n";
  }
  errorState_->Clear();
  return ReturnList(list, pVal);
}

}  // namespace q7k
