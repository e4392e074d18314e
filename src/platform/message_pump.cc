#include "platform/message_pump.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/system_message_pump.h"
#include "q7kcomm/host.h"

namespace q7k {
namespace {

// Without one from the host, the platform's own pump (if it has one).
std::shared_ptr<const std::function<void()>> MakePump(
    std::function<void()> pump) {
  if (!pump) pump = SystemMessagePump();
  if (!pump) return nullptr;
  return std::make_shared<const std::function<void()>>(std::move(pump));
}

std::mutex g_mutex;
std::shared_ptr<const std::function<void()>> g_pump = MakePump({});
// Mirrors g_pump != nullptr: every transaction of every object asks, and a
// lock here would serialise objects that share nothing else.
std::atomic<bool> g_installed{g_pump != nullptr};

std::shared_ptr<const std::function<void()>> CurrentPump() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_pump;
}

}  // namespace

void SetMessagePump(std::function<void()> pump) {
  auto next = MakePump(std::move(pump));
  std::lock_guard<std::mutex> lock(g_mutex);
  g_installed.store(next != nullptr);
  g_pump = std::move(next);
}

void RunMessagePump() {
  // Called outside the lock: the pump may dispatch for a long time.
  if (auto pump = CurrentPump()) (*pump)();
}

bool HasMessagePump() { return g_installed.load(); }

}  // namespace q7k
