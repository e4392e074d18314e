#include "platform/clock.h"

#include <atomic>
#include <thread>

#include "platform/local_time.h"

namespace q7k {
namespace {

// The operating system's clocks.
class SystemClock : public Clock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }

  std::tm LocalTime() override { return ToLocalTime(std::time(nullptr)); }

  void SleepUntil(TimePoint deadline) override {
    std::this_thread::sleep_until(deadline);
  }

  bool WaitUntil(std::unique_lock<std::mutex>& lock,
                 std::condition_variable& cv, TimePoint deadline,
                 const std::function<bool()>& ready) override {
    return cv.wait_until(lock, deadline, ready);
  }

  bool RunsInRealTime() override { return true; }
};

SystemClock g_systemClock;
std::atomic<Clock*> g_testClock{nullptr};

}  // namespace

Clock& CurrentClock() {
  Clock* clock = g_testClock.load();
  return clock != nullptr ? *clock : g_systemClock;
}

void SetClockForTesting(Clock* clock) { g_testClock.store(clock); }

}  // namespace q7k
