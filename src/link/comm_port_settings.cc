// CommPort's line settings: what the client asked for, kept beside the
// device settings block, and applied to the device.
#include "link/comm_port.h"
#include "link/link_errors.h"

namespace q7k {
namespace {

char UpperCase(int32_t letter) {
  const char c = static_cast<char>(letter);
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsParityLetter(char c) {
  return c == 'N' || c == 'O' || c == 'E' || c == 'M' || c == 'S';
}

}  // namespace

void CommPort::ReadDeviceSettings() {
  // A device that cannot report keeps the block's defaults.
  io_.ReadSettings(&settings_);
  baud_ = settings_.baud;
  parity_ = settings_.parity;
  dataBits_ = settings_.dataBits;
  stopBits_ = settings_.stopBits;
  dtr_ = settings_.dtr;
  rts_ = settings_.rts;
  xonXoff_ = settings_.xonXoff;
  ctsHandshake_ = settings_.ctsHandshake;
  dsrHandshake_ = settings_.dsrHandshake;
}

void CommPort::TakeSettings(const PortSettings& s) {
  dtr_ = rts_ = true;
  xonXoff_ = ctsHandshake_ = dsrHandshake_ = false;
  if (s.baud != -1) baud_ = static_cast<uint32_t>(s.baud);
  if (s.parity != -1) parity_ = UpperCase(s.parity);
  if (s.dataBits != -1) dataBits_ = s.dataBits;
  if (s.stopBits != -1) stopBits_ = s.stopBits;
  if (s.dtr != -1) dtr_ = s.dtr != 0;
  if (s.rts != -1) rts_ = s.rts != 0;
  if (s.xonXoff != -1) xonXoff_ = s.xonXoff != 0;
  if (s.ctsHandshake != -1) ctsHandshake_ = s.ctsHandshake != 0;
  if (s.dsrHandshake != -1) dsrHandshake_ = s.dsrHandshake != 0;
}

int32_t CommPort::ApplySettings() {
  int32_t result = 0;
  settings_.baud = baud_;
  if (IsParityLetter(parity_)) {
    settings_.parity = parity_;
  } else {
    result = kPortBadParity;
  }
  if (dataBits_ >= 5 && dataBits_ <= 8) {
    settings_.dataBits = dataBits_;
  } else {
    result = kPortBadDataBits;
  }
  if (stopBits_ == 1 || stopBits_ == 2) {
    settings_.stopBits = stopBits_;
  } else {
    result = kPortBadStopBits;
  }
  settings_.dtr = dtr_;
  settings_.rts = rts_;
  settings_.xonXoff = xonXoff_;
  settings_.ctsHandshake = ctsHandshake_;
  settings_.dsrHandshake = dsrHandshake_;

  const uint32_t error = io_.ApplySettings(settings_);
  if (error == 0) return result;
  if (ClassifyOsError(error) == OsErrorKind::kInvalidHandle) {
    return kPortSettingsFailed;
  }
  osError_.store(error);
  return kPortOsError;
}

int32_t CommPort::Configure(int32_t baud, int32_t parity, int32_t dataBits,
                            int32_t stopBits) {
  const SerialLineSettings before = settings_;
  const uint32_t oldBaud = baud_;
  const char oldParity = parity_;
  const int32_t oldDataBits = dataBits_;
  const int32_t oldStopBits = stopBits_;
  if (baud != -1) baud_ = static_cast<uint32_t>(baud);
  if (parity != -1) parity_ = UpperCase(parity);
  if (dataBits != -1) dataBits_ = dataBits;
  if (stopBits != -1) stopBits_ = stopBits;
  const int32_t result = ApplySettings();
  if (result == kPortSettingsFailed || result == kPortOsError) {
    // The device refused: keep what it had, or the next setter would fail
    // the port for a setting the client already saw rejected.
    settings_ = before;
    baud_ = oldBaud;
    parity_ = oldParity;
    dataBits_ = oldDataBits;
    stopBits_ = oldStopBits;
  } else {
    // An invalid value never reached the block; keep the fields in step.
    parity_ = settings_.parity;
    dataBits_ = settings_.dataBits;
    stopBits_ = settings_.stopBits;
  }
  return result;
}

int32_t CommPort::SetFlag(bool* field, int32_t on) {
  if (status_.load() == 0 && on != -1) {
    *field = on != 0;
    const int32_t result = ApplySettings();
    if (result != 0) Fail(result);
  }
  const int32_t s = status_.load();
  return s != 0 ? s : (*field ? 1 : 0);
}

int32_t CommPort::SetXonXoff(int32_t on) { return SetFlag(&xonXoff_, on); }

int32_t CommPort::SetCtsHandshake(int32_t on) {
  return SetFlag(&ctsHandshake_, on);
}

int32_t CommPort::SetDsrHandshake(int32_t on) {
  return SetFlag(&dsrHandshake_, on);
}

int32_t CommPort::SetDtr(int32_t on) {
  if (status_.load() == 0 && on != -1 && dsrHandshake_) {
    Fail(kPortHandshakeInUse);
  }
  return SetFlag(&dtr_, on);
}

int32_t CommPort::SetRts(int32_t on) {
  if (status_.load() == 0 && on != -1 && ctsHandshake_) {
    Fail(kPortHandshakeInUse);
  }
  return SetFlag(&rts_, on);
}

}  // namespace q7k
