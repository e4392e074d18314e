// CommPort's writer thread: hands the TxQueue to the device block by block
// and holds the line in break on request.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "link/comm_port.h"
#include "platform/clock.h"

namespace q7k {

int32_t CommPort::SendBreak(int32_t milliseconds) {
  breakMs_.store(std::clamp(milliseconds, 0, kMaxBreakMs));
  {
    std::lock_guard<std::mutex> lock(txPurgeMutex_);
    breakPending_ = true;
    bytesBeforeBreak_ = txQueue_.Count();
  }
  NeedThreads();
  writerWake_.Signal();
  return 0;
}

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
    DeviceTransfer put;
    {
      std::lock_guard<std::mutex> lock(txPurgeMutex_);
      if (purges != txPurgeCount_) return false;  // PurgeTx dropped it
      if (recorder_) recorder_->BeginSend();
      put = WriteDevice(block + done, n - done);
      bytesInFlight_ -= put.count;
      if (recorder_) recorder_->Sent(block + done, put.count);
    }
    if (put.failed) {
      FailDevice(put.osError);
      return true;
    }
    if (put.count > 0) {
      done += put.count;
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
  if (recorder_) recorder_->Break(breakMs_.load());
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
