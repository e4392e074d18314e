#include "link/comm_port.h"

#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "link/link_errors.h"
#include "platform/port_names.h"
#include "resources/string_ids.h"

namespace q7k {

CommPort::CommPort(const std::string& name, const PortSettings& settings)
    : CommPort(ThreadStart::kAtConstruction, name, settings) {}

CommPort::CommPort(ThreadStart start, const std::string& name,
                   const PortSettings& settings)
    : name_(name),
      devicePath_(DevicePathForName(name)),
      threadStart_(start),
      recorder_(SessionRecorder::ForNewPort(name, PortNumberFromName(name))) {
  const uint32_t error = io_.Open(devicePath_);
  if (error != 0) {
    RecordOpenFailure(error);
    return;
  }
  ReadDeviceSettings();
  hasErrorCounts_ = io_.ReadLineErrorCounts(&errorCounts_);
  TakeSettings(settings);
  const int32_t result = ApplySettings();
  if (result != 0) {
    status_.store(result);
    io_.Close();
    return;
  }
  RecordOpen();
  if (start == ThreadStart::kAtConstruction) StartThreads();
}

CommPort::~CommPort() { StopThreads(); }

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

void CommPort::NeedThreads() {
  if (threadStart_ == ThreadStart::kWhenNeeded) StartThreads();
}

void CommPort::StopThreads() {
  stopRequested_.store(true);
  readerWake_.Signal();
  writerWake_.Signal();
  NotifyWaiters();  // ends a break
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
  if (recorder_) {
    recorder_->Close(status_.load());
    recorder_.reset();
  }
  io_.Close();
}

// --- Failures ----------------------------------------------------------------

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

void CommPort::RecordOpen() {
  if (!recorder_) return;
  RecordedSettings s;
  s.baud = settings_.baud;
  s.dataBits = settings_.dataBits;
  s.parity = settings_.parity;
  s.stopBits = settings_.stopBits;
  s.dtr = settings_.dtr;
  s.rts = settings_.rts;
  s.xonXoff = settings_.xonXoff;
  s.cts = settings_.ctsHandshake;
  s.dsr = settings_.dsrHandshake;
  recorder_->Open(PortNumberFromName(name_).value_or(0), s, devicePath_);
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

DeviceTransfer CommPort::ReadDevice(uint8_t* buffer, size_t n) {
  DeviceTransfer t;
  const int32_t got = io_.Read(buffer, n, &t.osError);
  t.failed = got < 0;
  if (!t.failed) t.count = static_cast<size_t>(got);
  return t;
}

DeviceTransfer CommPort::WriteDevice(const uint8_t* bytes, size_t n) {
  DeviceTransfer t;
  const int32_t put = io_.Write(bytes, n, &t.osError);
  t.failed = put < 0;
  if (!t.failed) t.count = static_cast<size_t>(put);
  return t;
}

int32_t CommPort::ErrorMessageId(int32_t code) {
  return StatusMessageId(code);
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

}  // namespace q7k
