// Per-thread error information through the platform's error objects, so a
// host that asks the system (GetErrorInfo, a runtime's exception) finds the
// same record q7k::GetErrorInfo gives.
#include "platform/bstr_text.h"
#include "q7kcomm/com.h"

namespace q7k {
namespace {

// The text one of the record's getters gives, freed after the copy.
template <typename Getter>
std::u16string Take(IErrorInfo* record, Getter get) {
  BSTR s = nullptr;
  std::u16string text =
      SUCCEEDED((record->*get)(&s)) ? BstrText(s) : std::u16string();
  SysFreeString(s);
  return text;
}

}  // namespace

HRESULT GetErrorInfo(ErrorInfo* out) {
  if (out == nullptr) return E_POINTER;
  IErrorInfo* record = nullptr;
  if (::GetErrorInfo(0, &record) != S_OK || record == nullptr) return S_FALSE;
  out->description = Take(record, &IErrorInfo::GetDescription);
  out->source = Take(record, &IErrorInfo::GetSource);
  out->helpFile = Take(record, &IErrorInfo::GetHelpFile);
  if (FAILED(record->GetGUID(&out->iid))) out->iid = GUID{};
  DWORD context = 0;
  out->helpContext = SUCCEEDED(record->GetHelpContext(&context)) ? context : 0;
  record->Release();
  return S_OK;
}

void SetErrorInfo(const ErrorInfo& info) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(::CreateErrorInfo(&create))) return;
  const auto set = [](std::u16string_view text, auto&& apply) {
    BSTR s = NewBstr(text);
    apply(s);
    SysFreeString(s);
  };
  set(info.description, [create](BSTR s) { create->SetDescription(s); });
  set(info.source, [create](BSTR s) { create->SetSource(s); });
  set(info.helpFile, [create](BSTR s) { create->SetHelpFile(s); });
  create->SetGUID(info.iid);
  create->SetHelpContext(info.helpContext);
  IErrorInfo* record = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo,
                                       reinterpret_cast<void**>(&record)))) {
    ::SetErrorInfo(0, record);
    record->Release();
  }
  create->Release();
}

void ClearErrorInfo() { ::SetErrorInfo(0, nullptr); }

}  // namespace q7k
