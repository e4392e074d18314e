#include "platform/run_within.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace q7k {

bool RunWithin(std::function<void()> work, int32_t timeoutMs) {
  struct Done {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
  };
  auto done = std::make_shared<Done>();
  try {
    std::thread([done, work = std::move(work)] {
      work();
      std::lock_guard<std::mutex> lock(done->mutex);
      done->done = true;
      done->changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return false;  // no thread to be had
  }
  std::unique_lock<std::mutex> lock(done->mutex);
  return done->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return done->done; });
}

}  // namespace q7k
