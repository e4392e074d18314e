#include <windows.h>

#include "platform/system_message_pump.h"

namespace q7k {

std::function<void()> SystemMessagePump() {
  return [] {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // The host's own loop must still see it and end.
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  };
}

}  // namespace q7k
