#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/wake_event.h"

namespace q7k {

WakeEvent::WakeEvent() {
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) {
    error_ = static_cast<uint32_t>(errno);
  } else {
    handle_ = fd;
  }
}

WakeEvent::~WakeEvent() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

void WakeEvent::Signal() {
  if (handle_ < 0) return;
  const uint64_t one = 1;
  // Only fails when the counter would overflow, and then it is signalled.
  while (write(static_cast<int>(handle_), &one, sizeof one) < 0 &&
         errno == EINTR) {
  }
}

void WakeEvent::Drain() {
  if (handle_ < 0) return;
  uint64_t count;
  while (read(static_cast<int>(handle_), &count, sizeof count) < 0 &&
         errno == EINTR) {
  }
}

}  // namespace q7k
