#include "link/comm_port.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>

#include "link/link_errors.h"
#include "platform/clock.h"
#include "platform/port_names.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

char UpperCase(int32_t letter) {
  const char c = static_cast<char>(letter);
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsParityLetter(char c) {
  return c == 'N' || c == 'O' || c == 'E' || c == 'M' || c == 'S';
}

int32_t Bit(uint32_t bits, uint32_t bit) { return (bits & bit) != 0 ? 1 : 0; }

}  // namespace

CommPort::CommPort(const std::string& name, const PortSettings& settings)
    : CommPort(ThreadStart::kAtConstruction, name, settings) {}

CommPort::CommPort(ThreadStart start, const std::string& name,
                   const PortSettings& s)
    : name_(name), devicePath_(DevicePathForName(name)) {
  const uint32_t error = io_.Open(devicePath_);
  if (error != 0) {
    RecordOpenFailure(error);
    return;
  }
  ReadDeviceSettings();
  hasErrorCounts_ = io_.ReadLineErrorCounts(&errorCounts_);

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

  const int32_t result = ApplySettings();
  if (result != 0) {
    status_.store(result);
    io_.Close();
    return;
  }
  if (start == ThreadStart::kAtConstruction) StartThreads();
}

CommPort::~CommPort() { StopThreads(); }

// --- Settings ------------------------------------------------------------

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

// --- Failures --------------------------------------------------------------

int32_t CommPort::Fail(int32_t code) {
  int32_t expected = 0;
  if (status_.compare_exchange_strong(expected, code)) NotifyWaiters();
  return status_.load();
}

void CommPort::RecordOpenFailure(uint32_t error) {
  osError_.store(error);
  switch (ClassifyOsError(error)) {
    case OsErrorKind::kNotFound:
      status_.store(kPortNotFound);
      break;
    case OsErrorKind::kAccessDenied:
      status_.store(kPortInUse);
      break;
    default:
      status_.store(kPortOsError);
      break;
  }
}

void CommPort::FailDevice(uint32_t error) {
  // osError first, so whoever sees -197 sees its cause.
  if (status_.load() == 0) osError_.store(error);
  Fail(kPortOsError);
  deviceFailed_.store(true);
  readerWake_.Signal();
  writerWake_.Signal();
  NotifyWaiters();
}

int32_t CommPort::ErrorMessageId(int32_t code) {
  switch (code) {
    case kPortHandshakeInUse:
      return ids::kHandshakeInUse;
    case kPortSettingsFailed:
      return ids::kPortSettingsFailed;
    case kPortOsError:
      return ids::kOsError;
    default:
      break;
  }
  if ((code >= -200 && code <= -198) || (code >= -100 && code <= -95) ||
      code >= 0) {
    return SerialDevice::ErrorMessageId(code);
  }
  return ids::kUndefinedError;
}

// --- Transfers -------------------------------------------------------------

int32_t CommPort::Read(uint8_t* buffer, int32_t max) {
  UnparkReader();
  lastCount_ = 0;
  if (status_.load() != 0) return status_.load();
  const size_t wanted = max > 0 ? static_cast<size_t>(max) : 0;
  const size_t taken = rxQueue_.Pop(buffer, wanted);
  lastCount_ = static_cast<int32_t>(taken);
  buffer[taken] = 0;
  WakeReaderForSpace();
  if (taken < wanted) Fail(kPortShortTransfer);
  return status_.load();
}

int32_t CommPort::Write(const uint8_t* bytes, int32_t count) {
  lastCount_ = 0;
  if (status_.load() != 0) return status_.load();
  const size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
  const size_t queued = txQueue_.Push(bytes, wanted);
  writerWake_.Signal();
  lastCount_ = static_cast<int32_t>(queued);
  if (queued < wanted) Fail(kPortShortTransfer);
  return status_.load();
}

int32_t CommPort::ReadByte() {
  UnparkReader();
  if (status_.load() != 0) return status_.load();
  const int32_t b = rxQueue_.PopByte();
  if (b < 0) Fail(kPortShortTransfer);
  WakeReaderForSpace();
  const int32_t s = status_.load();
  return s != 0 ? s : b;
}

int32_t CommPort::WriteByte(uint8_t b) {
  if (status_.load() != 0) return status_.load();
  if (txQueue_.PushByte(b) < 0) {
    Fail(kPortShortTransfer);
  } else {
    writerWake_.Signal();
  }
  return status_.load();
}

int32_t CommPort::Peek(uint8_t* buffer, int32_t max) {
  UnparkReader();
  if (status_.load() < 0) return status_.load();
  const size_t copied = rxQueue_.Peek(buffer, max > 0 ? max : 0);
  lastCount_ = static_cast<int32_t>(copied);
  buffer[copied] = 0;
  return 0;
}

int32_t CommPort::TxFree() { return static_cast<int32_t>(txQueue_.Free()); }
int32_t CommPort::RxCount() {
  UnparkReader();
  return static_cast<int32_t>(rxQueue_.Count());
}
int32_t CommPort::RxFree() {
  UnparkReader();
  return static_cast<int32_t>(rxQueue_.Free());
}
int32_t CommPort::TxCount() { return static_cast<int32_t>(txQueue_.Count()); }

int32_t CommPort::PurgeTx() {
  if (status_.load() < 0) return status_.load();
  {
    std::lock_guard<std::mutex> lock(txPurgeMutex_);
    txQueue_.Clear();
    bytesBeforeBreak_ = 0;
    bytesInFlight_ = 0;
    ++txPurgeCount_;
    if (io_.IsOpen()) io_.PurgeOutput();
  }
  writerWake_.Signal();
  NotifyWaiters();
  return 0;
}

int32_t CommPort::PurgeRx() {
  if (status_.load() < 0) return status_.load();
  {
    std::lock_guard<std::mutex> lock(rxPurgeMutex_);
    rxQueue_.Clear();
    if (io_.IsOpen()) io_.PurgeInput();
  }
  WakeReaderForSpace();
  return 0;
}

// --- Client-thread path ------------------------------------------------------

int32_t CommPort::WriteDirect(const uint8_t* bytes, int32_t count) {
  lastCount_ = 0;
  if (status_.load() != 0) return status_.load();
  const size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
  int32_t written = 0;
  uint32_t error = 0;
  size_t queued = 0;
  {
    // Under the writer's lock: it cannot take a block between the look at
    // its state and the write, so bytes never overtake earlier ones.
    std::lock_guard<std::mutex> lock(txPurgeMutex_);
    if (txQueue_.Count() == 0 && bytesInFlight_ == 0 && !breakPending_ &&
        !breakHeld_) {
      written = io_.Write(bytes, wanted, &error);
    }
    if (written >= 0) {
      queued = txQueue_.Push(bytes + written, wanted - written);
    }
  }
  if (written < 0) {
    FailDevice(error);
    return status_.load();
  }
  if (queued > 0) writerWake_.Signal();
  lastCount_ = static_cast<int32_t>(static_cast<size_t>(written) + queued);
  if (static_cast<size_t>(lastCount_) < wanted) Fail(kPortShortTransfer);
  return status_.load();
}

int32_t CommPort::ReadDirect(uint8_t* buffer, size_t max,
                             Clock::TimePoint deadline) {
  ParkReader();
  Clock& clock = CurrentClock();
  // The device is read only once a wait says it has something: a read that
  // would block costs a system call on every exchange for nothing.
  bool deviceReady = false;
  for (bool waited = false;; waited = true) {
    if (status_.load() != 0) return status_.load();
    uint32_t error = 0;
    const int32_t n = TakeDirect(buffer, max, deviceReady, &error);
    if (n < 0) {
      FailDevice(error);
      return status_.load();
    }
    if (n > 0 || waited) return n;
    const auto now = clock.Now();
    if (now >= deadline) return 0;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    const int32_t timeoutMs =
        static_cast<int32_t>(std::min<int64_t>(left, INT32_MAX));
    const WaitResult w =
        io_.Wait(clientWake_, kWaitReadable | kWaitHangup, timeoutMs);
    // Drained before the next look, so a ring after that look is never
    // lost; a ring left from an earlier exchange only costs one more look.
    if (w.woken) clientWake_.Drain();
    if (w.hangup && !w.readable) {
      // A hang-up with nothing left to read: no read will report it.
      FailDevice(w.error);
      return status_.load();
    }
    if (w.error != 0 && !w.hangup) {
      FailDevice(w.error);
      return status_.load();
    }
    deviceReady = w.readable;
  }
}

int32_t CommPort::TakeDirect(uint8_t* buffer, size_t max, bool readDevice,
                             uint32_t* error) {
  size_t taken = 0;
  int32_t n = 0;
  {
    // The reader queues under the same lock: what it queued came before
    // what the device still holds.
    std::lock_guard<std::mutex> lock(rxPurgeMutex_);
    taken = rxQueue_.Pop(buffer, max);
    if (readDevice && taken < max && io_.IsOpen()) {
      n = io_.Read(buffer + taken, max - taken, error);
    }
  }
  if (taken > 0) WakeReaderForSpace();
  if (n < 0) return -1;
  return static_cast<int32_t>(taken + static_cast<size_t>(n));
}

void CommPort::ParkReader() {
  if (!readerParked_.exchange(true)) readerWake_.Signal();
}

void CommPort::UnparkReader() {
  if (readerParked_.exchange(false)) readerWake_.Signal();
}

int32_t CommPort::SendBreak(int32_t milliseconds) {
  breakMs_.store(std::clamp(milliseconds, 0, kMaxBreakMs));
  {
    std::lock_guard<std::mutex> lock(txPurgeMutex_);
    breakPending_ = true;
    bytesBeforeBreak_ = txQueue_.Count();
  }
  writerWake_.Signal();
  return 0;
}

// --- Line state --------------------------------------------------------------

int32_t CommPort::CarrierDetect() {
  return Bit(modemStatus_.load(), kModemCarrier);
}
int32_t CommPort::RingIndicator() {
  return Bit(modemStatus_.load(), kModemRing);
}
int32_t CommPort::ClearToSend() { return Bit(modemStatus_.load(), kModemCts); }
int32_t CommPort::DataSetReady() { return Bit(modemStatus_.load(), kModemDsr); }

int32_t CommPort::LineErrorFlag(uint32_t bit, int32_t clear) {
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

// --- Hooks -------------------------------------------------------------------

void CommPort::OnReceived(int32_t) {}
void CommPort::OnTransmitEmpty() {}
void CommPort::OnParityError() {}
void CommPort::OnFramingError() {}
void CommPort::OnOverrunError() {}
void CommPort::OnReceiveOverflow() {}
void CommPort::OnBreak() {}
void CommPort::OnCtsChange(int32_t) {}
void CommPort::OnDsrChange(int32_t) {}
void CommPort::OnCarrierChange(int32_t) {}
void CommPort::OnRingChange(int32_t) {}

// --- Waiting -----------------------------------------------------------------

void CommPort::NotifyWaiters() {
  // Taking the lock orders this wake-up after a waiter's predicate check.
  { std::lock_guard<std::mutex> lock(waitMutex_); }
  waitCondition_.notify_all();
  drainCondition_.notify_all();
  clientWake_.Signal();
}

void CommPort::NotifyDrainWaiters() {
  { std::lock_guard<std::mutex> lock(waitMutex_); }
  drainCondition_.notify_all();
}

bool CommPort::WaitForRx(size_t haveCount, std::chrono::milliseconds timeout) {
  UnparkReader();
  Clock& clock = CurrentClock();
  std::unique_lock<std::mutex> lock(waitMutex_);
  return clock.WaitUntil(lock, waitCondition_, clock.After(timeout), [&] {
    return rxQueue_.Count() > haveCount || status_.load() != 0;
  });
}

bool CommPort::WaitTxDrained(std::chrono::milliseconds timeout) {
  Clock& clock = CurrentClock();
  std::unique_lock<std::mutex> lock(waitMutex_);
  return clock.WaitUntil(lock, drainCondition_, clock.After(timeout), [&] {
    return txQueue_.Count() == 0 || status_.load() != 0;
  });
}

bool CommPort::WaitThreadsEnded(std::chrono::milliseconds timeout) {
  Clock& clock = CurrentClock();
  std::unique_lock<std::mutex> lock(waitMutex_);
  return clock.WaitUntil(lock, waitCondition_, clock.After(timeout),
                         [&] { return runningThreads_ == 0; });
}

void CommPort::ThreadEnded() {
  {
    std::lock_guard<std::mutex> lock(waitMutex_);
    --runningThreads_;
  }
  waitCondition_.notify_all();
}

// --- Thread lifetime ---------------------------------------------------------

void CommPort::StartThreads() {
  if (!io_.IsOpen() || reader_.joinable() || writer_.joinable()) return;
  uint32_t error = readerWake_.Error() != 0   ? readerWake_.Error()
                   : writerWake_.Error() != 0 ? writerWake_.Error()
                                              : clientWake_.Error();
  if (error == 0) {
    try {
      {
        std::lock_guard<std::mutex> lock(waitMutex_);
        runningThreads_ = 2;
      }
      reader_ = std::thread(&CommPort::ReaderLoop, this);
      writer_ = std::thread(&CommPort::WriterLoop, this);
    } catch (const std::system_error& e) {
      error = static_cast<uint32_t>(e.code().value());
      std::lock_guard<std::mutex> lock(waitMutex_);
      runningThreads_ = reader_.joinable() ? 1 : 0;
    }
  }
  if (error != 0) {
    osError_.store(error);
    Fail(kPortOsError);
    StopThreads();
  }
}

void CommPort::StopThreads() {
  stopRequested_.store(true);
  readerWake_.Signal();
  writerWake_.Signal();
  NotifyWaiters();  // ends a break
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
  io_.Close();
}

// --- Reader thread -----------------------------------------------------------

void CommPort::ReaderLoop() {
  StartModemLines();
  CheckLineErrors();
  uint8_t block[kReadBlockSize];
  const int32_t timeoutMs = hasModemLines_ ? kModemSampleMs : -1;
  while (!stopRequested_.load() && !deviceFailed_.load()) {
    const bool room = ReaderHasRoom();
    const bool reading = room && !readerParked_.load();
    const WaitResult w = io_.Wait(
        readerWake_, kWaitHangup | (reading ? kWaitReadable : 0), timeoutMs);
    if (w.woken) readerWake_.Drain();
    if (stopRequested_.load() || deviceFailed_.load()) break;
    if (room && (w.readable || w.hangup)) {
      uint32_t error = 0;
      const int32_t n = ReadIntoQueue(block, &error);
      if (n < 0) {
        FailDevice(error);
        break;
      }
      if (n > 0) {
        NotifyWaiters();
        OnReceived(n);
      } else if (w.hangup) {
        FailDevice(w.error);
        break;
      }
    } else if (w.hangup || w.error != 0) {
      // Hung up while not reading, or the wait itself failed: waiting again
      // would return at once, forever.
      FailDevice(w.error);
      break;
    }
    SampleModemLines();
    CheckLineErrors();
  }
  ThreadEnded();
}

bool CommPort::ReaderHasRoom() {
  if (rxQueue_.Free() > 0) return true;
  // Announce the wait before looking again: a Read between the two looks
  // sees the flag and rings.
  readerWantsSpace_.store(true);
  if (rxQueue_.Free() == 0) return false;
  readerWantsSpace_.store(false);
  return true;
}

void CommPort::WakeReaderForSpace() {
  if (readerWantsSpace_.exchange(false)) readerWake_.Signal();
}

int32_t CommPort::ReadIntoQueue(uint8_t* block, uint32_t* error) {
  // Holding the purge lock from read() until the bytes are queued means a
  // PurgeRx sees them either in the device or in the queue.
  std::lock_guard<std::mutex> lock(rxPurgeMutex_);
  const size_t room = std::min(rxQueue_.Free(), kReadBlockSize);
  if (room == 0) return 0;
  const int32_t n = io_.Read(block, room, error);
  if (n > 0) rxQueue_.Push(block, static_cast<size_t>(n));
  return n;
}

void CommPort::StartModemLines() {
  uint32_t bits = 0;
  hasModemLines_ = io_.ReadModemStatus(&bits);
  modemStatus_.store(bits);
  OnCtsChange(Bit(bits, kModemCts));
  OnDsrChange(Bit(bits, kModemDsr));
  OnCarrierChange(Bit(bits, kModemCarrier));
  OnRingChange(0);
}

void CommPort::SampleModemLines() {
  uint32_t bits = 0;
  if (!hasModemLines_ || !io_.ReadModemStatus(&bits)) return;
  const uint32_t changed = modemStatus_.exchange(bits) ^ bits;
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
  if ((seen & kLineBreak) != 0) OnBreak();
  if ((seen & kLineFraming) != 0) OnFramingError();
  if ((seen & kLineOverrun) != 0) OnOverrunError();
  if ((seen & kLineParity) != 0) OnParityError();
  if ((seen & kLineReceiveOverflow) != 0) OnReceiveOverflow();
}

// --- Writer thread -----------------------------------------------------------

void CommPort::WriterLoop() {
  OnTransmitEmpty();
  uint8_t block[kWriteBlockSize];
  bool wroteSinceEmpty = false;
  while (!stopRequested_.load() && !deviceFailed_.load()) {
    size_t n = 0;
    bool breakDue = false;
    uint64_t purges = 0;
    {
      // A pending break lets through only the bytes queued before it.
      std::lock_guard<std::mutex> lock(txPurgeMutex_);
      const size_t limit = breakPending_
                               ? std::min(kWriteBlockSize, bytesBeforeBreak_)
                               : kWriteBlockSize;
      n = txQueue_.Pop(block, limit);
      bytesInFlight_ = n;
      if (breakPending_) {
        bytesBeforeBreak_ -= n;
        breakDue = bytesBeforeBreak_ == 0 && n == 0;
        if (breakDue) {
          breakPending_ = false;
          breakHeld_ = true;
        }
      }
      purges = txPurgeCount_;
    }
    if (n > 0) {
      NotifyDrainWaiters();
      wroteSinceEmpty = true;
      if (WriteBlock(block, n, purges)) break;
      continue;
    }
    if (wroteSinceEmpty) {
      wroteSinceEmpty = false;
      OnTransmitEmpty();
    }
    if (breakDue) {
      if (HoldBreak()) break;
      continue;
    }
    const WaitResult w = io_.Wait(writerWake_, 0, -1);
    if (w.woken) writerWake_.Drain();
    if (w.error != 0) {
      FailDevice(w.error);
      break;
    }
  }
  ThreadEnded();
}

bool CommPort::WriteBlock(const uint8_t* block, size_t n, uint64_t purges) {
  size_t done = 0;
  while (done < n) {
    int32_t put = 0;
    uint32_t error = 0;
    {
      std::lock_guard<std::mutex> lock(txPurgeMutex_);
      if (purges != txPurgeCount_) return false;  // PurgeTx dropped it
      put = io_.Write(block + done, n - done, &error);
      if (put > 0) bytesInFlight_ -= static_cast<size_t>(put);
    }
    if (put < 0) {
      FailDevice(error);
      return true;
    }
    if (put > 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    const WaitResult w = io_.Wait(writerWake_, kWaitWritable | kWaitHangup, -1);
    if (w.woken) writerWake_.Drain();
    if (stopRequested_.load()) {
      io_.PurgeOutput();  // abort what the device still holds
      return true;
    }
    if (deviceFailed_.load()) return true;
    if (w.error != 0 && !w.writable) {
      FailDevice(w.error);
      return true;
    }
  }
  return false;
}

bool CommPort::HoldBreak() {
  Clock& clock = CurrentClock();
  const auto end = clock.After(std::chrono::milliseconds(breakMs_.load()));
  io_.SetBreak(true);
  bool endThread = false;
  {
    // Only the end of the port cuts a break short; its other wake-ups stay
    // pending on writerWake_ for the loop.
    std::unique_lock<std::mutex> lock(waitMutex_);
    endThread = clock.WaitUntil(lock, waitCondition_, end, [&] {
      return stopRequested_.load() || deviceFailed_.load();
    });
  }
  io_.SetBreak(false);
  std::lock_guard<std::mutex> lock(txPurgeMutex_);
  breakHeld_ = false;
  return endThread;
}

}  // namespace q7k
