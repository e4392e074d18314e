#include "platform/clock.h"

#include <atomic>
#include <chrono>

namespace q7k {
namespace {

// The operating system's clocks.
class SystemClock : public Clock {
 public:
  uint32_t TickMs() override {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    // Wraps like the platform's tick count; users compare differences.
    return static_cast<uint32_t>(ms.count());
  }

  std::tm LocalTime() override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
  }
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
