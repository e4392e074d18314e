#include <windows.h>

#include "platform/win32_chosen_code_page.h"
#include "q7kcomm/host.h"

namespace q7k {

bool SetAnsiCodePage(uint32_t codePage) {
  const bool offered = codePage == 1252 || codePage == 28591 ||
                       codePage == CP_UTF8 || codePage == GetACP();
  if (!offered || !IsValidCodePage(codePage)) return false;
  ChosenCodePage().store(codePage);
  return true;
}

uint32_t GetAnsiCodePage() { return CurrentCodePage(); }

}  // namespace q7k
