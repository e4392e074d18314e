#include "ui/host_windows.h"

#include <mutex>
#include <unordered_map>

#include "q7kcomm/host.h"

namespace q7k {
namespace {

struct WindowTable {
  std::mutex mutex;
  // handle -> visible; visibility matters only to the host's own views.
  std::unordered_map<int32_t, bool> visible;
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;  // never destroyed
  return *table;
}

}  // namespace

void RegisterWindow(int32_t handle, bool visible) {
  if (handle == 0) return;
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.visible[handle] = visible;
}

void UnregisterWindow(int32_t handle) {
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.visible.erase(handle);
}

bool IsHostWindow(int32_t handle) {
  WindowTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  return table.visible.count(handle) != 0;
}

}  // namespace q7k
