// CommPort's blocking waits for the client thread, and the wake-ups that
// end them.
#include <chrono>
#include <mutex>

#include "link/comm_port.h"
#include "platform/clock.h"

namespace q7k {

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

}  // namespace q7k
