// IQ7kLog: the client's own log file, written through the component.
#include "component/q7k_comm_object.h"
#include "platform/bstr_text.h"

namespace q7k {
HRESULT Q7kCommObject::get_LogFilename(BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = NewBstr(clientLog_.Name());
  return S_OK;
}

HRESULT Q7kCommObject::put_LogFilename(BSTR newVal) {
  const auto lock = Serialize();
  clientLog_.SetName(BstrText(newVal));
  return S_OK;
}

HRESULT Q7kCommObject::BeginLog(BSTR bstrFilename) {
  const auto lock = Serialize();
  clientLog_.BeginLog(BstrText(bstrFilename));
  return S_OK;
}

HRESULT Q7kCommObject::WriteToLog(BSTR bstrEntry) {
  const auto lock = Serialize();
  clientLog_.WriteToLog(BstrText(bstrEntry));
  return S_OK;
}

}  // namespace q7k
