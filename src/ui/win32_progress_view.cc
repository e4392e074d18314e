// The progress window as the system has it: a modeless dialog from the
// module's template, with a common-controls progress bar, owned by the
// host's window. Its messages are dispatched by whatever pumps the thread's
// queue (the host's loop, or the component's own pump during its waits).
#include <windows.h>
// commctrl.h needs the base declarations first.
#include <commctrl.h>

#include <string>

#include "platform/codepage.h"
#include "platform/win32_module_path.h"
#include "resources/progress_dialog_ids.h"
#include "ui/system_progress_view.h"
#include "ui/win32_window_handle.h"

namespace q7k {
namespace {

void SetText(HWND window, const std::u16string& text) {
  SetWindowTextA(window, WideToAnsi(text).c_str());
}

// Where a window of size extent starting at start must begin to lie within
// low..high (its low end wins when it is larger).
LONG Inside(LONG start, LONG extent, LONG low, LONG high) {
  if (start + extent > high) start = high - extent;
  if (start < low) start = low;
  return start;
}

// Centred over a visible, restored owner, else in the work area; either
// way moved wholly into the work area, keeping its size, focus and order.
void Centre(HWND dialog) {
  RECT work;
  RECT box;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) ||
      !GetWindowRect(dialog, &box)) {
    return;
  }
  RECT over = work;
  const HWND owner = GetWindow(dialog, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &over);
  }
  const LONG width = box.right - box.left;
  const LONG height = box.bottom - box.top;
  const LONG x = over.left + (over.right - over.left - width) / 2;
  const LONG y = over.top + (over.bottom - over.top - height) / 2;
  SetWindowPos(dialog, nullptr, Inside(x, width, work.left, work.right),
               Inside(y, height, work.top, work.bottom), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class Win32ProgressView : public ProgressView {
 public:
  Win32ProgressView() = default;
  ~Win32ProgressView() override {
    if (dialog_ != nullptr) DestroyWindow(dialog_);
  }
  Win32ProgressView(const Win32ProgressView&) = delete;
  Win32ProgressView& operator=(const Win32ProgressView&) = delete;

  bool Open(int32_t ownerHandle, const ProgressState& state) override {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    dialog_ = CreateDialogParamA(
        ThisModule(), MAKEINTRESOURCEA(Q7K_IDD_PROGRESS),
        WindowHandle(ownerHandle), &DialogAnswer,
        reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) return false;
    SetText(dialog_, state.title);
    SetText(Item(Q7K_IDC_PROGRESS_MESSAGE), state.message);
    Centre(dialog_);
    ShowWindow(dialog_, SW_SHOWNORMAL);
    // What the template shows; Update sends only what differs from it.
    drawn_.title = state.title;
    drawn_.message = state.message;
    drawn_.label = state.label;
    Update(state);
    return true;
  }

  // The logic keeps the range and the position (clamped as the bar clamps
  // them), so the bar is only told, never asked.
  void Update(const ProgressState& state) override {
    if (state.title != drawn_.title) SetText(dialog_, state.title);
    if (state.message != drawn_.message) {
      SetText(Item(Q7K_IDC_PROGRESS_MESSAGE), state.message);
    }
    const HWND bar = Item(Q7K_IDC_PROGRESS_BAR);
    if (state.barVisible &&
        (!drawn_.barVisible || state.lower != drawn_.lower ||
         state.upper != drawn_.upper)) {
      SendMessageA(bar, PBM_SETRANGE32, static_cast<WPARAM>(state.lower),
                   static_cast<LPARAM>(state.upper));
      SendMessageA(bar, PBM_SETSTEP, 1, 0);
    }
    if (state.position != drawn_.position) {
      SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(state.position), 0);
    }
    if (state.label != drawn_.label) {
      SetText(Item(Q7K_IDC_PROGRESS_LABEL), state.label);
    }
    if (state.barVisible != drawn_.barVisible) {
      const int show = state.barVisible ? SW_SHOW : SW_HIDE;
      ShowWindow(bar, show);
      ShowWindow(Item(Q7K_IDC_PROGRESS_LABEL), show);
    }
    drawn_ = state;
  }

 private:
  // No buttons and no commands: everything but initialisation and the end
  // is the system's default dialog handling. The system destroys the
  // dialog with its owner; the view then forgets the handle, which may by
  // its own end name another window.
  static INT_PTR CALLBACK DialogAnswer(HWND dialog, UINT message, WPARAM,
                                       LPARAM param) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(dialog, DWLP_USER, param);
      return TRUE;
    }
    if (message == WM_NCDESTROY) {
      auto* view = reinterpret_cast<Win32ProgressView*>(
          GetWindowLongPtrA(dialog, DWLP_USER));
      if (view != nullptr) view->dialog_ = nullptr;
    }
    return FALSE;
  }

  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  HWND dialog_ = nullptr;
  ProgressState drawn_;
};

}  // namespace

std::unique_ptr<ProgressView> NewSystemProgressView() {
  return std::make_unique<Win32ProgressView>();
}

}  // namespace q7k
