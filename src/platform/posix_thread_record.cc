#include "platform/thread_record.h"

namespace q7k {
namespace {

struct Held {
  void* record = nullptr;
  void (*release)(void*) = nullptr;
  ~Held() {
    if (record != nullptr) release(record);
  }
};

}  // namespace

void* ThreadRecord(void* (*make)(), void (*release)(void*)) {
  thread_local Held held;
  if (held.record == nullptr) {
    held.record = make();
    held.release = release;
  }
  return held.record;
}

}  // namespace q7k
