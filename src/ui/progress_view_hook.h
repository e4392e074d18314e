// The progress view the host installed with SetProgressViewFactory
// (host.h), or the platform's own view when it installed none.
//
// Thread safety: safe from any thread (the factory is read under a lock and
// called outside it).
#ifndef Q7K_UI_PROGRESS_VIEW_HOOK_H_
#define Q7K_UI_PROGRESS_VIEW_HOOK_H_

#include <memory>

#include "q7kcomm/host.h"

namespace q7k {

// A new, not yet opened view for one progress window. Null when the host's
// factory returns none (the window then cannot be created).
std::unique_ptr<ProgressView> NewProgressView();

}  // namespace q7k

#endif  // Q7K_UI_PROGRESS_VIEW_HOOK_H_
