#include "ui/progress_view_hook.h"

#include <mutex>
#include <utility>

#include "ui/system_progress_view.h"

namespace q7k {
namespace {

struct FactorySlot {
  std::mutex mutex;
  ProgressViewFactory factory;
};

FactorySlot& Slot() {
  static FactorySlot* slot = new FactorySlot;  // never destroyed
  return *slot;
}

}  // namespace

void SetProgressViewFactory(ProgressViewFactory factory) {
  FactorySlot& slot = Slot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  slot.factory = std::move(factory);
}

std::unique_ptr<ProgressView> NewProgressView() {
  ProgressViewFactory factory;
  {
    FactorySlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    factory = slot.factory;
  }
  if (!factory) return NewSystemProgressView();
  return factory();
}

}  // namespace q7k
