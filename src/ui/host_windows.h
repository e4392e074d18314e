// The host's window handles, as registered with RegisterWindow (host.h):
// what the component asks where the original platform would ask the window
// system whether a handle is a window.
//
// Thread safety: safe from any thread (one process-wide table under a lock).
#ifndef Q7K_UI_HOST_WINDOWS_H_
#define Q7K_UI_HOST_WINDOWS_H_

#include <cstdint>

namespace q7k {

// True when handle is registered. 0 is never a window.
bool IsHostWindow(int32_t handle);

}  // namespace q7k

#endif  // Q7K_UI_HOST_WINDOWS_H_
