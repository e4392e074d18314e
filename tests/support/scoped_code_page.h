// ScopedCodePage: switches the host's 8-bit code page for one test and
// restores the previous one afterwards.
//
// Thread safety: as SetAnsiCodePage; tests that use it must not run
// concurrently with other users of the code page.
#ifndef Q7K_TESTS_SUPPORT_SCOPED_CODE_PAGE_H_
#define Q7K_TESTS_SUPPORT_SCOPED_CODE_PAGE_H_

#include <cstdint>

#include "q7kcomm/host.h"

namespace q7k {

class ScopedCodePage {
 public:
  // REQUIRES: codePage is one SetAnsiCodePage accepts.
  explicit ScopedCodePage(uint32_t codePage) : previous_(GetAnsiCodePage()) {
    SetAnsiCodePage(codePage);
  }
  ~ScopedCodePage() { SetAnsiCodePage(previous_); }

  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;

 private:
  uint32_t previous_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SCOPED_CODE_PAGE_H_
