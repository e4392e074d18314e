#include "support/fake_clock.h"

#include <algorithm>

namespace q7k {

FakeClock::FakeClock(const std::tm& local) : local_(local) {
  SetClockForTesting(this);
}

FakeClock::~FakeClock() { SetClockForTesting(nullptr); }

std::tm FakeClock::MakeTime(int year, int month, int day, int hour, int minute,
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

Clock::TimePoint FakeClock::Now() { return now_.load(); }

std::chrono::milliseconds FakeClock::Elapsed() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Now() -
                                                               TimePoint{});
}

void FakeClock::MoveTo(TimePoint to) {
  if (to <= now_.load()) return;
  now_.store(to);
  // Taking each waiter's mutex orders the wake-up after its deadline check.
  for (Waiter* w : waiters_) {
    { std::lock_guard<std::mutex> lock(*w->mutex); }
    w->cv->notify_all();
  }
}

void FakeClock::SleepUntil(TimePoint deadline) {
  std::lock_guard<std::mutex> lock(mutex_);
  MoveTo(deadline);
}

bool FakeClock::WaitUntil(std::unique_lock<std::mutex>& lock,
                          std::condition_variable& cv, TimePoint deadline,
                          const std::function<bool()>& ready) {
  if (ready()) return true;
  Waiter self{lock.mutex(), &cv, deadline};
  // The caller's mutex is never held while taking mutex_.
  lock.unlock();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    waiters_.push_back(&self);
  }
  waiterCame_.notify_all();
  lock.lock();
  while (!ready() && Now() < deadline) cv.wait(lock);
  const bool result = ready();
  lock.unlock();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &self));
  }
  lock.lock();
  return result;
}

std::chrono::milliseconds FakeClock::AdvanceToNextDeadline() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!waiterCame_.wait_for(lock, std::chrono::seconds(10),
                            [&] { return !waiters_.empty(); })) {
    return std::chrono::milliseconds(-1);
  }
  const TimePoint from = now_.load();
  TimePoint next = waiters_.front()->deadline;
  for (const Waiter* w : waiters_) next = std::min(next, w->deadline);
  MoveTo(next);
  return std::chrono::duration_cast<std::chrono::milliseconds>(now_.load() -
                                                               from);
}

}  // namespace q7k
