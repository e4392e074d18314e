// ProgressTarget: the component's progress window as the firmware
// operations drive it: opened with a catalog text in the client's language
// and owned by the client's window.
//
// Thread safety: the client's thread.
#ifndef Q7K_FIRMWARE_PROGRESS_TARGET_H_
#define Q7K_FIRMWARE_PROGRESS_TARGET_H_

#include <cstdint>

#include "ui/progress_dialog.h"

namespace q7k {

struct ProgressTarget {
  ProgressDialogSlot* slot;
  int32_t ownerHandle;
  ProgressTextLoader texts;

  void Open(int32_t textId) const {
    slot->Display(ownerHandle, texts(textId), texts);
  }
  void Close() const { slot->Destroy(); }
};

}  // namespace q7k

#endif  // Q7K_FIRMWARE_PROGRESS_TARGET_H_
