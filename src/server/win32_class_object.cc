// The in-process server's class object and unload check: what COM calls
// after it found this DLL under the class's InprocServer32 key.
#include <atomic>

#include "component/q7k_comm_object.h"
#include "q7kcomm/com.h"

namespace q7k {
namespace {

// Locks that keep the module loaded besides live objects: LockServer calls
// and references to the class object.
std::atomic<long> g_locks{0};

class ClassObject final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  // The class object lives as long as the module; its references count as
  // locks on the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++g_locks + 1; }
  ULONG STDMETHODCALLTYPE Release() override { return --g_locks + 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                           void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return q7k::CreateInstance(CLSID_Q7kComm, iid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++g_locks;
    } else {
      --g_locks;
    }
    return S_OK;
  }
};

ClassObject g_classObject;

}  // namespace
}  // namespace q7k

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (clsid != q7k::CLSID_Q7kComm) return CLASS_E_CLASSNOTAVAILABLE;
  return q7k::g_classObject.QueryInterface(iid, ppv);
}

STDAPI DllCanUnloadNow() {
  const bool idle =
      q7k::Q7kCommObject::LiveObjects() == 0 && q7k::g_locks.load() == 0;
  return idle ? S_OK : S_FALSE;
}
