// The component's one source of time: every "now" goes through it, so tests
// can pin the time of log lines.
//
// Thread safety: SystemClock is safe from any thread. SetClockForTesting must
// not race with users of the clock.
#ifndef Q7K_PLATFORM_CLOCK_H_
#define Q7K_PLATFORM_CLOCK_H_

#include <cstdint>
#include <ctime>

namespace q7k {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a monotonic clock, wrapping at 2^32 like a tick count.
  virtual uint32_t TickMs() = 0;
  // The local wall-clock date and time.
  virtual std::tm LocalTime() = 0;
};

// The clock in use: the system's, unless a test installed another.
Clock& CurrentClock();
// Installs clock (not owned) as the current one; null restores the system's.
void SetClockForTesting(Clock* clock);

}  // namespace q7k

#endif  // Q7K_PLATFORM_CLOCK_H_
