// The host's message pump as the component sees it (host.h installs it).
//
// Thread safety: safe from any thread; the pump itself runs on the caller's.
#ifndef Q7K_PLATFORM_MESSAGE_PUMP_H_
#define Q7K_PLATFORM_MESSAGE_PUMP_H_

namespace q7k {

// Dispatches the host's pending UI events; does nothing without a pump.
void RunMessagePump();
bool HasMessagePump();

}  // namespace q7k

#endif  // Q7K_PLATFORM_MESSAGE_PUMP_H_
