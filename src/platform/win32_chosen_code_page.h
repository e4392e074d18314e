// The host's choice of 8-bit code page, kept apart from the exported
// functions that set and read it (win32_ansi_code_page.cc), so that a
// static copy of the conversions linked beside the DLL (q7k's decoder)
// carries no exported name.
//
// Thread safety: atomic.
#ifndef Q7K_PLATFORM_WIN32_CHOSEN_CODE_PAGE_H_
#define Q7K_PLATFORM_WIN32_CHOSEN_CODE_PAGE_H_

#include <atomic>
#include <cstdint>

namespace q7k {

// 0: the process's ANSI code page.
std::atomic<uint32_t>& ChosenCodePage();
// The one in use now.
uint32_t CurrentCodePage();

}  // namespace q7k

#endif  // Q7K_PLATFORM_WIN32_CHOSEN_CODE_PAGE_H_
