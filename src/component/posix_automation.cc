// No late binding without the platform's automation.
#include "component/automation.h"

namespace q7k {

HRESULT QueryAutomation(IQ7kComm*, const GUID&, void** ppv) {
  *ppv = nullptr;
  return E_NOINTERFACE;
}

}  // namespace q7k
