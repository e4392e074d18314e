// A window handle as the interface carries it (a 32-bit value, ParentHwnd)
// back to the system's: user handles are 32-bit and sign-extended on 64-bit
// Windows.
#ifndef Q7K_UI_WIN32_WINDOW_HANDLE_H_
#define Q7K_UI_WIN32_WINDOW_HANDLE_H_

#include <windows.h>

#include <cstdint>

namespace q7k {

inline HWND WindowHandle(int32_t value) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(value));
}

}  // namespace q7k

#endif  // Q7K_UI_WIN32_WINDOW_HANDLE_H_
