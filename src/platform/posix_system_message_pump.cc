#include "platform/system_message_pump.h"

namespace q7k {

std::function<void()> SystemMessagePump() { return {}; }

}  // namespace q7k
