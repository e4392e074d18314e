// The platform's own message pump: what the component runs while the host
// has installed none. POSIX has none; on Windows it dispatches the calling
// thread's window messages, as the host's windows expect during a wait.
//
// Thread safety: safe from any thread; the pump runs on the caller's.
#ifndef Q7K_PLATFORM_SYSTEM_MESSAGE_PUMP_H_
#define Q7K_PLATFORM_SYSTEM_MESSAGE_PUMP_H_

#include <functional>

namespace q7k {

// An empty function where the platform has no pump.
std::function<void()> SystemMessagePump();

}  // namespace q7k

#endif  // Q7K_PLATFORM_SYSTEM_MESSAGE_PUMP_H_
