// FakeClock: a Clock that moves only when told, installed for the object's
// lifetime. Sleeps pass at once and move the clock to their end (the
// sleeping thread spends the time); waits for a condition block until it
// holds or the test moves the clock past their deadline, so a time-out
// happens exactly when the test says.
//
// Thread safety: every method may be called from any thread.
#ifndef Q7K_TESTS_SUPPORT_FAKE_CLOCK_H_
#define Q7K_TESTS_SUPPORT_FAKE_CLOCK_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace q7k {

class FakeClock : public Clock {
 public:
  // Installs itself as the current clock, showing local time `local`.
  explicit FakeClock(const std::tm& local = MakeTime(2026, 1, 1, 0, 0, 0, 4));
  ~FakeClock() override;
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  TimePoint Now() override;
  std::tm LocalTime() override { return local_; }
  void SleepUntil(TimePoint deadline) override;
  bool WaitUntil(std::unique_lock<std::mutex>& lock,
                 std::condition_variable& cv, TimePoint deadline,
                 const std::function<bool()>& ready) override;

  // Time passed since the clock was made.
  std::chrono::milliseconds Elapsed();
  // Waits (in real time, long enough only to fail a broken test) until some
  // thread waits on the clock, then moves the clock to the earliest
  // deadline among the waiters. Returns how far it moved, -1 ms when no
  // thread came to wait.
  std::chrono::milliseconds AdvanceToNextDeadline();

  // A std::tm for the given calendar fields (month 1..12, weekday 0 = Sun).
  static std::tm MakeTime(int year, int month, int day, int hour, int minute,
                          int second, int weekday);

 private:
  struct Waiter {
    std::mutex* mutex;
    std::condition_variable* cv;
    TimePoint deadline;
  };
  // Moves now to `to` if later and wakes every waiter. REQUIRES: mutex_.
  void MoveTo(TimePoint to);

  std::tm local_;
  // Taken before any waiter's mutex, never after.
  std::mutex mutex_;
  std::condition_variable waiterCame_;
  std::vector<Waiter*> waiters_;
  // Written under mutex_; read without it, under a waiter's mutex.
  std::atomic<TimePoint> now_{TimePoint{}};
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_FAKE_CLOCK_H_
