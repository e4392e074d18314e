#include "ui/system_progress_view.h"
#include "ui/terminal_progress_view.h"

namespace q7k {

std::unique_ptr<ProgressView> NewSystemProgressView() {
  return std::make_unique<TerminalProgressView>();
}

}  // namespace q7k
