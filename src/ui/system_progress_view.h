// The platform's own progress view: what draws the progress window while
// the host has installed no view factory. Windows has the real dialog; POSIX
// the terminal line (terminal_progress_view.h).
//
// Thread safety: safe from any thread; a view belongs to the thread that
// opens it.
#ifndef Q7K_UI_SYSTEM_PROGRESS_VIEW_H_
#define Q7K_UI_SYSTEM_PROGRESS_VIEW_H_

#include <memory>

#include "q7kcomm/host.h"

namespace q7k {

std::unique_ptr<ProgressView> NewSystemProgressView();

}  // namespace q7k

#endif  // Q7K_UI_SYSTEM_PROGRESS_VIEW_H_
