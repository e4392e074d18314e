// CommPort's transfers through the queues: the reader and writer threads
// move the bytes between the queues and the device.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "link/comm_port.h"
#include "link/link_errors.h"

namespace q7k {

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
  NeedThreads();
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
    NeedThreads();
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
  if (recorder_) recorder_->Purge(false, true);
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
  if (recorder_) recorder_->Purge(true, false);
  WakeReaderForSpace();
  return 0;
}

}  // namespace q7k
