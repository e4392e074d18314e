#include <windows.h>

#include "support/test_platform.h"

namespace q7k {

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr &&
         GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool CanRemoveCurrentDirectory() { return false; }

bool FileNamesIgnoreCase() { return true; }

}  // namespace q7k
