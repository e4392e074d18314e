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

}  // namespace q7k
