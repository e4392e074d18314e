#include "component/q7k_comm_object.h"

#include "component/automation.h"
#include "link/instrument_link.h"
#include "link/transactor.h"
#include "platform/codepage.h"
#include "resources/version.h"

namespace q7k {
namespace {

std::atomic<long> g_liveObjects{0};

}  // namespace

long Q7kCommObject::LiveObjects() { return g_liveObjects.load(); }

Q7kCommObject::Q7kCommObject()
    : errorState_(std::make_unique<ErrorState>()),
      // The instrument's time passes on the component's own timer.
      sim_([this](int32_t milliseconds) { TimerDelay(milliseconds, 0); }) {
  ++g_liveObjects;
}

// The system's order: progress window, error record, link, strings. The
// link and a stand-in instrument keep a pointer to the error record: before
// it goes, the instrument goes and the link lets go of it.
Q7kCommObject::~Q7kCommObject() {
  progress_.Destroy();
  standIn_.reset();
  if (link_) link_->DetachErrors();
  errorState_.reset();
  link_.reset();
  --g_liveObjects;
}

void Q7kCommObject::AttachTransactor(const TransactorFactory& make) {
  const auto lock = Serialize();
  standIn_ = make(errorState_.get());
}

Transactor* Q7kCommObject::transactor() const {
  return standIn_ ? standIn_.get() : link_.get();
}

HRESULT Q7kCommObject::QueryInterface(const GUID& iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (iid == IID_IUnknown || iid == IID_IQ7kComm) {
    *ppv = static_cast<IQ7kComm*>(this);
  } else if (iid == IID_IQ7kCalStatus) {
    *ppv = static_cast<IQ7kCalStatus*>(this);
  } else if (iid == IID_IQ7kEeprom) {
    *ppv = static_cast<IQ7kEeprom*>(this);
  } else if (iid == IID_IQ7kLog) {
    *ppv = static_cast<IQ7kLog*>(this);
  } else if (iid == IID_ISupportErrorInfo) {
    *ppv = static_cast<ISupportErrorInfo*>(this);
  } else {
    return QueryAutomation(static_cast<IQ7kComm*>(this), iid, ppv);
  }
  AddRef();
  return S_OK;
}

RefCount Q7kCommObject::AddRef() { return ++refs_; }

RefCount Q7kCommObject::Release() {
  const RefCount left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Q7kCommObject::InterfaceSupportsErrorInfo(const GUID& iid) {
  const auto lock = Serialize();
  const bool ours = iid == IID_IQ7kComm || iid == IID_IQ7kCalStatus ||
                    iid == IID_IQ7kEeprom || iid == IID_IQ7kLog;
  return ours ? S_OK : S_FALSE;
}

HRESULT Q7kCommObject::ReportFailure() {
  if (!errorState_->message().empty()) {
    ErrorInfo info;
    info.description = errorState_->message();
    info.source = AnsiToWide(kProgId);
    info.iid = IID_IQ7kComm;
    info.helpContext = 0;
    SetErrorInfo(info);
  }
  return E_FAIL;
}

}  // namespace q7k
