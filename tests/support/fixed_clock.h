// FixedClock: a Clock whose time a test sets, installed for the object's
// lifetime so every "now" of the component is predictable.
//
// Thread safety: the fields may be read from any thread but are set only
// while no component call runs.
#ifndef Q7K_TESTS_SUPPORT_FIXED_CLOCK_H_
#define Q7K_TESTS_SUPPORT_FIXED_CLOCK_H_

#include <atomic>
#include <cstdint>
#include <ctime>

#include "platform/clock.h"

namespace q7k {

class FixedClock : public Clock {
 public:
  // Installs itself as the current clock, showing local time `local`.
  explicit FixedClock(const std::tm& local) : local_(local) {
    SetClockForTesting(this);
  }
  ~FixedClock() override { SetClockForTesting(nullptr); }

  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;

  uint32_t TickMs() override { return tick_.load(); }
  std::tm LocalTime() override { return local_; }

  void set_tick(uint32_t ms) { tick_.store(ms); }
  void set_local(const std::tm& local) { local_ = local; }

  // A std::tm for the given calendar fields (month 1..12, weekday 0 = Sun).
  static std::tm MakeTime(int year, int month, int day, int hour, int minute,
                          int second, int weekday) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = weekday;
    return t;
  }

 private:
  std::tm local_;
  std::atomic<uint32_t> tick_{0};
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_FIXED_CLOCK_H_
