// Port setup with the application check: SetupComm and RestartBootLoader.
// The check itself is the firmware subsystem's; the component lends it its
// port, its own operations and its state through a SetupSession.
#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "firmware/app_image_file.h"
#include "firmware/setup_check.h"
#include "resources/string_ids.h"

namespace q7k {

class Q7kCommObject::SetupSession final : public SetupHost {
 public:
  SetupSession(Q7kCommObject* object, Q7K_PORT port, Q7K_BPS bps,
               short timeoutSec)
      : o_(object), port_(port), bps_(bps), timeoutSec_(timeoutSec) {}

  bool OpenPort() override { return o_->CreatePort(port_, bps_); }
  void ClosePort() override { o_->ClosePort(); }
  bool RestartBootLoader() override {
    return SUCCEEDED(o_->RestartBootLoader(port_, bps_, timeoutSec_));
  }
  bool QueryRunningApp(AppInfo* out) override {
    return o_->QueryRunningApp(out);
  }
  bool FindFlashApp(const AppInfo& app, int16_t* entry) override {
    return o_->FindApp(app, entry);
  }
  bool TakeRebootRequest() override {
    const bool requested = o_->requireReboot_;
    o_->requireReboot_ = false;
    return requested;
  }
  void Wait(int32_t milliseconds) override { o_->TimerDelay(milliseconds, 0); }
  CommandChannel channel() override { return o_->channel(); }
  ProgressTarget progress() override { return o_->progress(); }
  AppParams* appParams() override { return &o_->appParams_; }

 private:
  Q7kCommObject* o_;
  Q7K_PORT port_;
  Q7K_BPS bps_;
  short timeoutSec_;
};

HRESULT Q7kCommObject::SetupComm(Q7K_PORT port, Q7K_BPS bps,
                                 short nTimeoutSec) {
  const auto lock = Serialize();
  // A failed setup leaves nothing behind for the client to trip over.
  const auto fail = [this] {
    ClosePort();
    progress_.Destroy();
    return ReportFailure();
  };
  if (errorState_->watchdogReset()) {
    if (!CreatePort(port, bps)) return fail();
    errorState_->ClearWatchdogReset();
    const bool restarted = SUCCEEDED(StartPONSequence());
    ClosePort();
    if (!restarted) return fail();
  }
  // An error the client has not seen yet keeps the instrument as it is.
  if (errorState_->code() != kNoError) return S_OK;
  SetupSession session(this, port, bps, nTimeoutSec);
  if (!EnsureApplication(session, kFirmwareName, nTimeoutSec)) return fail();
  if (!CreatePort(port, bps)) return fail();
  return S_OK;
}

HRESULT Q7kCommObject::RestartBootLoader(Q7K_PORT port, Q7K_BPS bps,
                                         short nTimeoutSec) {
  const auto lock = Serialize();
  progress().Open(ids::kRestartingLoader);
  bool ok = link_ != nullptr || SUCCEEDED(SetupComm(port, bps, nTimeoutSec));
  ok = ok && SUCCEEDED(RestartLoader());
  if (ok) {
    TimerDelay(kAfterLoaderRestartMs, 0);
    ClosePort();
    ok = CreatePort(port, bps);
    if (ok) {
      requireReboot_ = false;
    } else {
      ClosePort();
    }
  }
  DestroyMsgDlg();
  return ok ? S_OK : ReportFailure();
}

}  // namespace q7k
