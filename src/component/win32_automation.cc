// IDispatch over IQ7kComm: names and calls are resolved by the system's type
// information for IQ7kComm (ITypeInfo::GetIDsOfNames / Invoke), so the
// argument conversions, optional errors (EXCEPINFO from the error object)
// and property kinds are the platform's own. Members marked restricted in
// the type library (records, arrays) are not reachable this way.
#include <atomic>
#include <mutex>
#include <new>
#include <set>

#include "component/automation.h"
#include "platform/win32_module_path.h"

namespace q7k {
namespace {

// IQ7kComm's description from the module's embedded type library, and the
// members a late-bound caller may reach. Loaded once; null when the module
// carries no type library (a static build).
struct Description {
  ITypeInfo* info = nullptr;
  std::set<MEMBERID> restricted;
};

const Description& Load() {
  static Description description;
  static std::once_flag once;
  std::call_once(once, [] {
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library))) {
      return;
    }
    ITypeInfo* info = nullptr;
    const HRESULT hr = library->GetTypeInfoOfGuid(IID_IQ7kComm, &info);
    library->Release();
    if (FAILED(hr)) return;
    TYPEATTR* type = nullptr;
    if (FAILED(info->GetTypeAttr(&type))) {
      info->Release();
      return;
    }
    for (UINT i = 0; i < type->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      if (FAILED(info->GetFuncDesc(i, &f))) continue;
      if (f->wFuncFlags & FUNCFLAG_FRESTRICTED) {
        description.restricted.insert(f->memid);
      }
      info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(type);
    description.info = info;  // kept for the life of the module
  });
  return description;
}

class Automation final : public IDispatch {
 public:
  Automation(IQ7kComm* object, ITypeInfo* info) : object_(object), info_(info) {
    object_->AddRef();
  }
  Automation(const Automation&) = delete;
  Automation& operator=(const Automation&) = delete;

  // The object's identity stays the object's: every other interface is its.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (iid != IID_IDispatch) return object_->QueryInterface(iid, ppv);
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID,
                                        ITypeInfo** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    info_->AddRef();
    *out = info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names,
                                          UINT count, LCID,
                                          DISPID* ids) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    const HRESULT hr = info_->GetIDsOfNames(names, count, ids);
    if (SUCCEEDED(hr) && count > 0 && Restricted(ids[0])) {
      for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                   DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception,
                                   UINT* badArgument) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (Restricted(id)) return DISP_E_MEMBERNOTFOUND;
    return info_->Invoke(object_, id, flags, params, result, exception,
                         badArgument);
  }

 private:
  ~Automation() { object_->Release(); }
  static bool Restricted(DISPID id) { return Load().restricted.count(id) > 0; }

  IQ7kComm* const object_;
  ITypeInfo* const info_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

HRESULT QueryAutomation(IQ7kComm* object, const GUID& iid, void** ppv) {
  *ppv = nullptr;
  if (iid != IID_IDispatch) return E_NOINTERFACE;
  ITypeInfo* info = Load().info;
  if (info == nullptr) return E_NOINTERFACE;
  *ppv = static_cast<IDispatch*>(new (std::nothrow) Automation(object, info));
  return *ppv ? S_OK : E_OUTOFMEMORY;
}

}  // namespace q7k
