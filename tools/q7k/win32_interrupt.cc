#include <windows.h>

#include <atomic>

#include "interrupt.h"

namespace q7k::tool {
namespace {

std::atomic<bool> noted{false};

BOOL WINAPI Note(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second one goes on to the default handler, which ends the process.
  return noted.exchange(true) ? FALSE : TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  noted = false;
  SetConsoleCtrlHandler(Note, TRUE);
}

InterruptGuard::~InterruptGuard() { SetConsoleCtrlHandler(Note, FALSE); }

bool InterruptGuard::requested() const { return noted; }

}  // namespace q7k::tool
