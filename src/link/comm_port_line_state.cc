// CommPort's modem lines and line errors: sampled by the reader thread,
// reported to the client from atomics.
#include <cstdint>

#include "link/comm_port.h"

namespace q7k {
namespace {

int32_t Bit(uint32_t bits, uint32_t bit) { return (bits & bit) != 0 ? 1 : 0; }

}  // namespace

// The reader thread keeps both up to date: it must be running.
int32_t CommPort::ModemLine(uint32_t bit) {
  NeedThreads();
  return Bit(modemStatus_.load(), bit);
}

int32_t CommPort::CarrierDetect() { return ModemLine(kModemCarrier); }
int32_t CommPort::RingIndicator() { return ModemLine(kModemRing); }
int32_t CommPort::ClearToSend() { return ModemLine(kModemCts); }
int32_t CommPort::DataSetReady() { return ModemLine(kModemDsr); }

int32_t CommPort::LineErrorFlag(uint32_t bit, int32_t clear) {
  NeedThreads();
  if (status_.load() < 0) return status_.load();
  const uint32_t bits = (clear != -1 && clear != 0)
                            ? lineErrors_.fetch_and(~bit)
                            : lineErrors_.load();
  return Bit(bits, bit);
}

int32_t CommPort::ParityError(int32_t clear) {
  return LineErrorFlag(kLineParity, clear);
}

int32_t CommPort::BreakDetected(int32_t clear) {
  return LineErrorFlag(kLineBreak, clear);
}

int32_t CommPort::FramingError(int32_t clear) {
  return LineErrorFlag(kLineFraming, clear);
}

int32_t CommPort::OverrunError(int32_t clear) {
  return LineErrorFlag(kLineOverrun, clear);
}

int32_t CommPort::ReceiveOverflow(int32_t clear) {
  return LineErrorFlag(kLineReceiveOverflow, clear);
}

void CommPort::RecordModemLines(uint32_t bits) {
  if (!recorder_) return;
  recorder_->ModemLines((bits & kModemCts) != 0, (bits & kModemDsr) != 0,
                        (bits & kModemCarrier) != 0, (bits & kModemRing) != 0);
}

void CommPort::StartModemLines() {
  uint32_t bits = 0;
  hasModemLines_ = io_.ReadModemStatus(&bits);
  modemStatus_.store(bits);
  if (hasModemLines_) RecordModemLines(bits);
  OnCtsChange(Bit(bits, kModemCts));
  OnDsrChange(Bit(bits, kModemDsr));
  OnCarrierChange(Bit(bits, kModemCarrier));
  OnRingChange(0);
}

void CommPort::SampleModemLines() {
  uint32_t bits = 0;
  if (!hasModemLines_ || !io_.ReadModemStatus(&bits)) return;
  const uint32_t changed = modemStatus_.exchange(bits) ^ bits;
  if (changed != 0) RecordModemLines(bits);
  if ((changed & kModemCts) != 0) OnCtsChange(Bit(bits, kModemCts));
  if ((changed & kModemDsr) != 0) OnDsrChange(Bit(bits, kModemDsr));
  if ((changed & kModemCarrier) != 0) {
    OnCarrierChange(Bit(bits, kModemCarrier));
  }
  if ((changed & kModemRing) != 0 && (bits & kModemRing) == 0) {
    OnRingChange(0);
  }
}

void CommPort::CheckLineErrors() {
  LineErrorCounts now;
  if (!hasErrorCounts_ || !io_.ReadLineErrorCounts(&now)) return;
  uint32_t seen = 0;
  if (now.receiveOverflow != errorCounts_.receiveOverflow) {
    seen |= kLineReceiveOverflow;
  }
  if (now.overrun != errorCounts_.overrun) seen |= kLineOverrun;
  if (now.parity != errorCounts_.parity) seen |= kLineParity;
  if (now.framing != errorCounts_.framing) seen |= kLineFraming;
  if (now.breaks != errorCounts_.breaks) seen |= kLineBreak;
  errorCounts_ = now;
  if (seen == 0) return;
  lineErrors_.fetch_or(seen);
  if (recorder_) {
    recorder_->LineErrors((seen & kLineParity) != 0, (seen & kLineFraming) != 0,
                          (seen & kLineOverrun) != 0,
                          (seen & kLineReceiveOverflow) != 0,
                          (seen & kLineBreak) != 0);
  }
  if ((seen & kLineBreak) != 0) OnBreak();
  if ((seen & kLineFraming) != 0) OnFramingError();
  if ((seen & kLineOverrun) != 0) OnOverrunError();
  if ((seen & kLineParity) != 0) OnParityError();
  if ((seen & kLineReceiveOverflow) != 0) OnReceiveOverflow();
}

}  // namespace q7k
