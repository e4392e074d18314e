#include "console_text.h"

#include <windows.h>

namespace q7k::tool {
namespace {

// The console's own code page, while the tool has it switched; the console
// is shared with the shell, so it gets it back on Ctrl-C too.
UINT savedCodePage = 0;

void RestoreCodePage() {
  if (savedCodePage != 0) SetConsoleOutputCP(savedCodePage);
}

BOOL WINAPI OnConsoleBreak(DWORD) {
  RestoreCodePage();
  return FALSE;  // the default handler still ends the process
}

}  // namespace

ConsoleText::ConsoleText() {
  const UINT current = GetConsoleOutputCP();  // 0 without a console
  if (current == 0 || current == CP_UTF8) return;
  if (SetConsoleOutputCP(CP_UTF8)) {
    savedCodePage = current;
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
  }
}

ConsoleText::~ConsoleText() {
  RestoreCodePage();
  SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
}

}  // namespace q7k::tool
