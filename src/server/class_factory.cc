// Creation of component objects by class id or ProgID: what registration and
// the class factory give a host on the original platform.
#include <cstring>
#include <new>

#include "component/q7k_comm_object.h"
#include "q7kcomm/com.h"
#include "resources/version.h"

namespace q7k {

HRESULT CreateInstance(const GUID& clsid, const GUID& iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_Q7kComm) return E_NOINTERFACE;
  auto* object = new (std::nothrow) Q7kCommObject();
  if (object == nullptr) return E_OUTOFMEMORY;
  object->AddRef();
  const HRESULT hr = object->QueryInterface(iid, ppv);
  object->Release();  // the caller's reference, if any, keeps it alive
  return hr;
}

HRESULT CreateInstance(const char* progId, const GUID& iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (progId == nullptr) return E_NOINTERFACE;
  if (std::strcmp(progId, kProgId) != 0 &&
      std::strcmp(progId, kVersionIndependentProgId) != 0) {
    return E_NOINTERFACE;
  }
  return CreateInstance(CLSID_Q7kComm, iid, ppv);
}

}  // namespace q7k
