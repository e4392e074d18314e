// IQ7kLog: the client's own log file, written through the component.
#include "component/q7k_comm_object.h"

namespace q7k {
namespace {

std::u16string FromBstr(BSTR s) {
  return s ? std::u16string(s, SysStringLen(s)) : std::u16string();
}

}  // namespace

HRESULT Q7kCommObject::get_LogFilename(BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  const std::u16string& name = clientLog_.Name();
  *pVal = SysAllocStringLen(name.data(), static_cast<uint32_t>(name.size()));
  return S_OK;
}

HRESULT Q7kCommObject::put_LogFilename(BSTR newVal) {
  const auto lock = Serialize();
  clientLog_.SetName(FromBstr(newVal));
  return S_OK;
}

HRESULT Q7kCommObject::BeginLog(BSTR bstrFilename) {
  const auto lock = Serialize();
  clientLog_.BeginLog(FromBstr(bstrFilename));
  return S_OK;
}

HRESULT Q7kCommObject::WriteToLog(BSTR bstrEntry) {
  const auto lock = Serialize();
  clientLog_.WriteToLog(FromBstr(bstrEntry));
  return S_OK;
}

}  // namespace q7k
