// The error properties and the two list methods of IQ7kComm.
#include <cstdio>
#include <cstring>
#include <vector>

#include "component/q7k_comm_object.h"
#include "link/instrument_link.h"
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
  if (i <= 10) return {i, {}};
  if (i <= 13) return {11, word(i - 10)};
  if (i <= 19) return {16, {}};
  if (i == 20) {
    std::vector<uint8_t> d(65, 0);
    const char text[] = "Woof Woof Woof";
    std::memcpy(d.data(), text, sizeof text - 1);
    return {12, d};
  }
  if (i == 21) return {13, word(321)};
  if (i == 22 || i == 25 || i == 27 || i == 30 || i == 31) return {14, {}};
  if (i <= 37) return {14, stop_reason(i - 22, -1, 0)};
  if (i <= 39) return {14, stop_reason(-1, i - 38, 1)};
  if (i <= 41) return {14, stop_reason(-1, 2, static_cast<uint8_t>(i - 39))};
  if (i <= 49) return {16, {}};
  return {14, stop_reason(-1, i - 47, 1)};
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
  for (int32_t n = 0; n >= -199; --n) {
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
