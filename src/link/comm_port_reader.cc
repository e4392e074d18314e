// CommPort's reader thread: moves received bytes from the device into the
// RxQueue, and only watches for a hang-up while the client reads directly.
#include <algorithm>
#include <cstdint>
#include <mutex>

#include "link/comm_port.h"

namespace q7k {

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
      const DeviceTransfer read = ReadIntoQueue(block);
      if (read.failed) {
        FailDevice(read.osError);
        break;
      }
      if (read.count > 0) {
        NotifyWaiters();
        OnReceived(static_cast<int32_t>(read.count));
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

DeviceTransfer CommPort::ReadIntoQueue(uint8_t* block) {
  // Holding the purge lock from read() until the bytes are queued means a
  // PurgeRx sees them either in the device or in the queue.
  std::lock_guard<std::mutex> lock(rxPurgeMutex_);
  const size_t room = std::min(rxQueue_.Free(), kReadBlockSize);
  if (room == 0) return {};
  const DeviceTransfer read = ReadDevice(block, room);
  if (read.count > 0) {
    rxQueue_.Push(block, read.count);
    if (recorder_) recorder_->Received(block, read.count);
  }
  return read;
}

}  // namespace q7k
