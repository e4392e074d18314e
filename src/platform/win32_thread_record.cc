// Fiber-local storage, whose callback releases a thread's record when the
// thread ends.
#include <windows.h>

#include "platform/thread_record.h"

namespace q7k {
namespace {

// The system calls back with its own calling convention.
void (*g_release)(void*) = nullptr;
void WINAPI Release(void* record) { g_release(record); }

// Freeing the index when the library is unloaded or the process ends
// releases every thread's record, so no callback outlives the code.
class RecordSlot {
 public:
  explicit RecordSlot(void (*release)(void*))
      : index_((g_release = release, FlsAlloc(&Release))) {}
  ~RecordSlot() {
    if (index_ != FLS_OUT_OF_INDEXES) FlsFree(index_);
  }
  RecordSlot(const RecordSlot&) = delete;
  RecordSlot& operator=(const RecordSlot&) = delete;

  DWORD index() const { return index_; }

 private:
  const DWORD index_;
};

}  // namespace

void* ThreadRecord(void* (*make)(), void (*release)(void*)) {
  static const RecordSlot slot(release);
  if (slot.index() != FLS_OUT_OF_INDEXES) {
    void* record = FlsGetValue(slot.index());
    if (record != nullptr) return record;
    record = make();
    if (FlsSetValue(slot.index(), record)) return record;
    release(record);
  }
  // No slot to be had (the process ran out of them): a record never
  // released is still the thread's own.
  thread_local void* fallback = nullptr;
  if (fallback == nullptr) fallback = make();
  return fallback;
}

}  // namespace q7k
