// WakeEvent: a doorbell that wakes one thread blocked in SerialIo::Wait.
//
// Rings are not counted: any number of Signal calls before a Drain wake the
// waiter once. A waiter therefore drains right after waking and only then
// looks at the state the signallers changed, so no ring is ever lost.
//
// Thread safety: Signal may be called from any thread at any time while the
// object lives; Drain and Wait belong to the one waiting thread.
#ifndef Q7K_PLATFORM_WAKE_EVENT_H_
#define Q7K_PLATFORM_WAKE_EVENT_H_

#include <cstdint>

namespace q7k {

class WakeEvent {
 public:
  // Not signalled. Check Error(): creation can fail (out of descriptors).
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // 0, or the operating system's error code when creation failed.
  uint32_t Error() const { return error_; }
  void Signal();
  // Clears the signalled state without blocking.
  void Drain();
  // The platform's waitable handle (a descriptor on POSIX).
  intptr_t Handle() const { return handle_; }

 private:
  intptr_t handle_ = -1;
  uint32_t error_ = 0;
};

}  // namespace q7k

#endif  // Q7K_PLATFORM_WAKE_EVENT_H_
