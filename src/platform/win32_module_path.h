// The module this code was loaded from: q7kcomm.dll for the server (its
// registration and type library name it, its resources live there), the
// program for a static build.
#ifndef Q7K_PLATFORM_WIN32_MODULE_PATH_H_
#define Q7K_PLATFORM_WIN32_MODULE_PATH_H_

#include <windows.h>

#include <string>

namespace q7k {

// Null when the system cannot say.
HMODULE ThisModule();

// Its file; empty when the system cannot say.
std::wstring ModulePath();

}  // namespace q7k

#endif  // Q7K_PLATFORM_WIN32_MODULE_PATH_H_
