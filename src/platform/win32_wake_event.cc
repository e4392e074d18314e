// A manual-reset event: it stays signalled until the waiter drains it, so
// any number of rings before a Drain wake the waiter once.
#include <windows.h>

#include "platform/wake_event.h"

namespace q7k {
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

WakeEvent::WakeEvent() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) {
    error_ = GetLastError();
  } else {
    handle_ = reinterpret_cast<intptr_t>(event);
  }
}

WakeEvent::~WakeEvent() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
}

void WakeEvent::Signal() {
  if (handle_ != -1) SetEvent(AsHandle(handle_));
}

void WakeEvent::Drain() {
  if (handle_ != -1) ResetEvent(AsHandle(handle_));
}

}  // namespace q7k
