// ProgressDialog: the modeless progress window of long operations (one text
// line, and on request a bar with a "Completed: n %" label), drawn by the
// host's ProgressView; and ProgressDialogSlot, the at-most-one window of a
// component object with the semantics of its four dialog methods.
//
// Texts come from the caller's loader (base catalog id -> text in the
// current language), read when needed so a language change shows in the
// next label.
//
// Thread safety: one thread, the one that opened the window (the client's).
#ifndef Q7K_UI_PROGRESS_DIALOG_H_
#define Q7K_UI_PROGRESS_DIALOG_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "q7kcomm/host.h"

namespace q7k {

// Base catalog id -> text in the current language (empty when missing).
using ProgressTextLoader = std::function<std::u16string(int32_t baseId)>;

class ProgressDialog {
 public:
  // The window's texts before the component sets its own.
  static constexpr char16_t kTemplateTitle[] = u"Communication du Q7300";
  static constexpr char16_t kTemplateLabel[] = u"Termin\u00e9: 100 %";

  // Opens a window with message (shown as the host's 8-bit code page shows
  // it, up to an embedded zero), owned by ownerHandle (0 for none). The
  // title is text 7475 when texts is set, else the template's; the label
  // prefix of later steps is text 7474 (empty without texts). Returns null,
  // with nothing shown, when ownerHandle is neither 0 nor a registered host
  // window, or the view cannot be created or opened.
  static std::unique_ptr<ProgressDialog> Open(int32_t ownerHandle,
                                              std::u16string_view message,
                                              ProgressTextLoader texts);

  // Closes the window.
  ~ProgressDialog();
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Shows the bar and the label (which keeps its text) and sets the bar's
  // range; the position is kept within the new range.
  void ShowProgress(int16_t lower, int16_t upper);

  // Advances the bar by step, not above the range's upper limit, and labels
  // the new position: "<text 7474> <position> %". The label shows a
  // position below the range (e.g. "-5 %") while the bar rests at its low
  // end.
  void Step(int16_t step);

  const ProgressState& state() const { return state_; }

 private:
  ProgressDialog(std::unique_ptr<ProgressView> view, ProgressTextLoader texts,
                 ProgressState state);

  std::unique_ptr<ProgressView> view_;
  ProgressTextLoader texts_;
  ProgressState state_;
};

// The component object's progress window: at most one, replaced by each
// Display, and calls without a window do nothing.
class ProgressDialogSlot {
 public:
  ProgressDialogSlot() = default;
  ProgressDialogSlot(const ProgressDialogSlot&) = delete;
  ProgressDialogSlot& operator=(const ProgressDialogSlot&) = delete;

  // DisplayMsgDlg: closes any window, then opens a new one (see
  // ProgressDialog::Open); when that fails there is no window.
  void Display(int32_t ownerHandle, std::u16string_view message,
               ProgressTextLoader texts);
  // DestroyMsgDlg.
  void Destroy() { dialog_.reset(); }
  // ShowMsgProgress.
  void ShowProgress(int16_t lower, int16_t upper);
  // StepMsgProgress.
  void Step(int16_t step);

  // The open window, or null.
  const ProgressDialog* dialog() const { return dialog_.get(); }

 private:
  std::unique_ptr<ProgressDialog> dialog_;
};

}  // namespace q7k

#endif  // Q7K_UI_PROGRESS_DIALOG_H_
