#include "q7kcomm/host.h"
#include "ui/host_windows.h"
#include "ui/win32_window_handle.h"

namespace q7k {

// The system knows its windows; a host has nothing to tell.
void RegisterWindow(int32_t /*handle*/, bool /*visible*/) {}
void UnregisterWindow(int32_t /*handle*/) {}

bool IsHostWindow(int32_t handle) {
  return handle != 0 && IsWindow(WindowHandle(handle));
}

}  // namespace q7k
