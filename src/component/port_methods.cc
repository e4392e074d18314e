// The port methods of IQ7kComm: port creation, open, close, the loopback
// test and the timer.
#include <cstdio>

#include "component/q7k_comm_object.h"
#include "link/error_codes.h"
#include "link/instrument_link.h"
#include "log/trace_log.h"
#include "resources/string_ids.h"
#include "resources/version.h"
#include "simulator/simulated_transactor.h"

namespace q7k {
namespace {

int32_t BitRate(int32_t bps) {
  switch (bps) {
    case BPS_14400:
      return 14400;
    case BPS_19200:
      return 19200;
    case BPS_38400:
      return 38400;
    case BPS_57600:
      return 57600;
    case BPS_115200:
      return 112500;  // the instrument's rate, not 115200
    case BPS_128000:
      return 128000;
    default:
      return 9600;
  }
}

std::string PortName(int32_t port) {
  char name[32];
  std::snprintf(name, sizeof name, port < 10 ? "COM%d" : "\\\\.\\COM%d", port);
  return name;
}

}  // namespace

bool Q7kCommObject::CreatePort(int32_t port, int32_t bps) {
  const std::string name = PortName(port);
  const int32_t rate = BitRate(bps);
  standIn_.reset();
  link_.reset();
  link_ = std::make_unique<InstrumentLink>(errorState_.get(), name,
                                           PortSettings::Instrument(rate));
  if (enableTrace_) {
    char text[96];
    std::snprintf(text, sizeof text, "CreatePort[%s](%s, bps=%ld)",
                  kComponentVersion, name.c_str(), static_cast<long>(rate));
    TraceLine(text, true);
  }
  link_->trace = enableTrace_;
  // Every mode but none simulates the commands, so the line must not be
  // driven either: a simulating host would otherwise run real tests. The
  // device stays open, whatever its state.
  if (simulating()) {
    standIn_ = std::make_unique<SimulatedTransactor>(enableTrace_);
    return true;
  }
  const int32_t status = link_->status();
  if (status == 0) return true;
  const int32_t id = link_->ErrorMessageId(status);
  if (id == ids::kUndefinedError) {
    errorState_->SetCode(kPortOpenFailedCode, ids::kUnableToOpenPort);
  } else {
    errorState_->SetCode(LinkErrorCode(status), id);
  }
  return false;
}

HRESULT Q7kCommObject::OpenPort(Q7K_PORT port, Q7K_BPS bps) {
  const auto lock = Serialize();
  return CreatePort(port, bps) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::ClosePort() {
  const auto lock = Serialize();
  if (enableTrace_) TraceLine("ClosePort", true);
  standIn_.reset();
  link_.reset();
  return S_OK;
}

HRESULT Q7kCommObject::IsPortOpen(short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = link_ ? 1 : 0;
  return S_OK;
}

HRESULT Q7kCommObject::RunLoopbackTest(Q7K_PORT port, Q7K_BPS bps) {
  const auto lock = Serialize();
  bool ok = CreatePort(port, bps);
  if (ok && link_) ok = transactor()->RunLoopback();
  ClosePort();
  return ok ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::TimerDelay(int32_t lMilliseconds, short nWinMsg) {
  const auto lock = Serialize();
  if (simulating() && sim_.settings().fast) return S_OK;
  if (!link_) return E_FAIL;
  // A negative delay would otherwise wait about 49 days.
  const uint32_t ms = lMilliseconds < 0 ? 0 : uint32_t(lMilliseconds);
  link_->Wait(ms, nWinMsg != 0);
  return S_OK;
}

}  // namespace q7k
