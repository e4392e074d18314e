// Whether a handle the host passed is a window: on Windows the system's
// answer (IsWindow), elsewhere the host's handles as registered with
// RegisterWindow (host.h).
//
// Thread safety: safe from any thread (the registered handles are one
// process-wide table under a lock).
#ifndef Q7K_UI_HOST_WINDOWS_H_
#define Q7K_UI_HOST_WINDOWS_H_

#include <cstdint>

namespace q7k {

// 0 is never a window.
bool IsHostWindow(int32_t handle);

}  // namespace q7k

#endif  // Q7K_UI_HOST_WINDOWS_H_
