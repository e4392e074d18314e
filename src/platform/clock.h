// The component's one source of time: every "now", wait, time-out and time
// stamp goes through it, so tests can pin log times and run time-outs on a
// clock they move themselves.
//
// Thread safety: SystemClock is safe from any thread. SetClockForTesting must
// not race with users of the clock.
#ifndef Q7K_PLATFORM_CLOCK_H_
#define Q7K_PLATFORM_CLOCK_H_

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>

namespace q7k {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;
  // A monotonic now; only differences mean anything.
  virtual TimePoint Now() = 0;
  // The local wall-clock date and time.
  virtual std::tm LocalTime() = 0;
  // Returns once deadline has passed.
  virtual void SleepUntil(TimePoint deadline) = 0;
  // Blocks on cv, whose mutex lock holds, until ready() holds or deadline
  // passed; returns ready(). Whoever makes ready() true takes the mutex
  // before notifying cv. May release and retake lock before blocking.
  virtual bool WaitUntil(std::unique_lock<std::mutex>& lock,
                         std::condition_variable& cv, TimePoint deadline,
                         const std::function<bool()>& ready) = 0;

  // True when deadlines of this clock are real time, so an operating
  // system wait (poll) with a time-out can honour them. A clock that moves
  // only when told must be waited on through WaitUntil instead.
  virtual bool RunsInRealTime() { return false; }

  TimePoint After(std::chrono::milliseconds span) { return Now() + span; }
};

// The clock in use: the system's, unless a test installed another.
Clock& CurrentClock();
// Installs clock (not owned) as the current one; null restores the system's.
void SetClockForTesting(Clock* clock);

}  // namespace q7k

#endif  // Q7K_PLATFORM_CLOCK_H_
