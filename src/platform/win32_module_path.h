// The file this code was loaded from: q7kcomm.dll for the server (its
// registration and type library name it), the program for a static build.
#ifndef Q7K_PLATFORM_WIN32_MODULE_PATH_H_
#define Q7K_PLATFORM_WIN32_MODULE_PATH_H_

#include <string>

namespace q7k {

// Empty when the system cannot say.
std::wstring ModulePath();

}  // namespace q7k

#endif  // Q7K_PLATFORM_WIN32_MODULE_PATH_H_
