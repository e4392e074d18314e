// CommPort's client-thread path: the calling thread moves the bytes itself
// and spares a short exchange the hand-offs to the port's threads.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "link/comm_port.h"
#include "link/link_errors.h"
#include "platform/clock.h"

namespace q7k {

int32_t CommPort::WriteDirect(const uint8_t* bytes, int32_t count) {
  lastCount_ = 0;
  if (status_.load() != 0) return status_.load();
  const size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
  DeviceTransfer written;
  size_t queued = 0;
  {
    // Under the writer's lock: it cannot take a block between the look at
    // its state and the write, so bytes never overtake earlier ones.
    std::lock_guard<std::mutex> lock(txPurgeMutex_);
    if (txQueue_.Count() == 0 && bytesInFlight_ == 0 && !breakPending_ &&
        !breakHeld_) {
      if (recorder_) recorder_->BeginSend();
      written = WriteDevice(bytes, wanted);
      if (recorder_) recorder_->Sent(bytes, written.count);
    }
    if (!written.failed) {
      queued = txQueue_.Push(bytes + written.count, wanted - written.count);
    }
  }
  if (written.failed) {
    FailDevice(written.osError);
    return status_.load();
  }
  if (queued > 0) {
    NeedThreads();
    writerWake_.Signal();
  }
  lastCount_ = static_cast<int32_t>(written.count + queued);
  if (written.count + queued < wanted) Fail(kPortShortTransfer);
  return status_.load();
}

PortTransfer CommPort::ReadDirect(uint8_t* buffer, size_t max,
                                  Clock::TimePoint deadline) {
  ParkReader();
  Clock& clock = CurrentClock();
  // The device is read only once a wait says it has something: a read that
  // would block costs a system call on every exchange for nothing.
  bool deviceReady = false;
  for (bool waited = false;; waited = true) {
    if (status_.load() != 0) return {0, status_.load()};
    const DeviceTransfer took = TakeDirect(buffer, max, deviceReady);
    if (took.failed) FailDevice(took.osError);
    if (took.count > 0 || took.failed || waited) {
      return {took.count, status_.load()};
    }
    const auto now = clock.Now();
    if (now >= deadline) return {};
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
      return {0, status_.load()};
    }
    if (w.error != 0 && !w.hangup) {
      FailDevice(w.error);
      return {0, status_.load()};
    }
    deviceReady = w.readable;
  }
}

DeviceTransfer CommPort::TakeDirect(uint8_t* buffer, size_t max,
                                    bool readDevice) {
  size_t taken = 0;
  DeviceTransfer read;
  {
    // The reader queues under the same lock: what it queued came before
    // what the device still holds.
    std::lock_guard<std::mutex> lock(rxPurgeMutex_);
    taken = rxQueue_.Pop(buffer, max);
    if (readDevice && taken < max && io_.IsOpen()) {
      read = ReadDevice(buffer + taken, max - taken);
      if (recorder_) recorder_->Received(buffer + taken, read.count);
    }
  }
  if (taken > 0) WakeReaderForSpace();
  read.count += taken;
  return read;
}

void CommPort::ParkReader() {
  if (!readerParked_.exchange(true)) readerWake_.Signal();
}

void CommPort::UnparkReader() {
  NeedThreads();
  if (readerParked_.exchange(false)) readerWake_.Signal();
}

}  // namespace q7k
