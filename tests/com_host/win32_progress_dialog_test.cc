// The progress window as a host sees it on the screen: the real dialog of
// q7kcomm.dll, found among the thread's windows and read back.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace {

std::vector<HWND> Dialogs() {
  std::vector<HWND> found;
  EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM out) {
    char name[16] = {};
    GetClassNameA(w, name, sizeof name);
    if (std::string(name) == "#32770") {
      reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring Text(HWND w) {
  wchar_t text[64] = {};
  GetWindowTextW(w, text, 64);
  return text;
}

RECT Rect(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

class ProgressDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm_.AsVoidOut()),
              S_OK);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work_, 0);
  }
  // Shows the window owned by owner; the only dialog of the thread, or null.
  HWND Display(HWND owner = nullptr) {
    Bstr message(u"Downloading");
    EXPECT_EQ(comm_->DisplayMsgDlg(
                  static_cast<int32_t>(reinterpret_cast<intptr_t>(owner)),
                  message.get()), S_OK);
    const std::vector<HWND> dialogs = Dialogs();
    return dialogs.size() == 1 ? dialogs[0] : nullptr;
  }
  HWND Owner(int x, int y, int width, int height, bool visible) {
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, x, y, width,
                             height, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(owner_, visible ? SW_SHOWNOACTIVATE : SW_HIDE);
    return owner_;
  }
  void TearDown() override {
    comm_->DestroyMsgDlg();
    EXPECT_TRUE(Dialogs().empty());
    if (owner_ != nullptr) DestroyWindow(owner_);
  }

  ComPtr<IQ7kComm> comm_;
  RECT work_ = {};
  HWND owner_ = nullptr;
};

TEST_F(ProgressDialogTest, TextsBarAndLabel) {
  struct Case {
    Q7K_LANGUAGE language;
    std::vector<int16_t> steps;
    const wchar_t* title;
    const wchar_t* label;
    int position;
  } cases[] = {
      {LANGUAGE_ENGLISH, {42}, L"Q7300 Communications", L"Completed: 42 %", 42},
      {LANGUAGE_FRENCH, {42}, L"Communication du Q7300", L"Termin\u00e9: 42 %",
       42},
      {LANGUAGE_ENGLISH, {98, 5}, nullptr, L"Completed: 100 %", 100},
      {LANGUAGE_ENGLISH, {5, -10}, nullptr, L"Completed: -5 %", 0},
  };
  for (const Case& c : cases) {
    comm_->put_Language(c.language);
    const HWND dialog = Display();
    ASSERT_NE(dialog, nullptr);
    const HWND bar = GetDlgItem(dialog, 202), label = GetDlgItem(dialog, 203);
    if (c.title != nullptr) {
      EXPECT_EQ(Text(dialog), c.title);
    }
    EXPECT_EQ(Text(GetDlgItem(dialog, 204)), L"Downloading");
    EXPECT_FALSE(IsWindowVisible(bar) || IsWindowVisible(label));
    EXPECT_EQ(comm_->ShowMsgProgress(0, 100), S_OK);
    EXPECT_TRUE(IsWindowVisible(bar) && IsWindowVisible(label));
    for (int16_t step : c.steps) EXPECT_EQ(comm_->StepMsgProgress(step), S_OK);
    EXPECT_EQ(Text(label), c.label) << c.label;
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), c.position) << c.label;
  }
}

TEST_F(ProgressDialogTest, OneWindowAndOnlyOverAWindow) {
  const HWND first = Display();
  const HWND second = Display();
  EXPECT_FALSE(IsWindow(first));
  ASSERT_NE(second, nullptr);
  // Its messages are pumped while the component waits: it repaints.
  ASSERT_EQ(comm_->put_SimulMode(SIMUL_CLIP), S_OK);
  ASSERT_EQ(comm_->OpenPort(COM3, BPS_115200), S_OK);
  InvalidateRect(second, nullptr, TRUE);
  EXPECT_EQ(comm_->TimerDelay(50, 1), S_OK);
  EXPECT_FALSE(GetUpdateRect(second, nullptr, FALSE));
  // A handle that no longer names a window.
  DestroyWindow(Owner(0, 0, 10, 10, true));
  EXPECT_EQ(Display(owner_), nullptr);
  EXPECT_EQ(comm_->ShowMsgProgress(0, 100), S_OK);
  EXPECT_EQ(comm_->StepMsgProgress(1), S_OK);
}

TEST_F(ProgressDialogTest, TemplateAndPlacement) {
  const LONG right = work_.right, bottom = work_.bottom;
  struct Case {
    RECT owner;  // left, top, width, height
    bool visible;
    POINT centre;  // where the dialog is centred when wholly inside
  } cases[] = {
      {{200, 150, 400, 300}, true, {400, 300}},
      {{200, 150, 400, 300}, false,
       {(work_.left + right) / 2, (work_.top + bottom) / 2}},
      {{right - 60, bottom - 20, 100, 100}, true, {right + 100, bottom + 100}},
  };
  for (const Case& c : cases) {
    const RECT o = c.owner;
    const HWND dialog = Display(Owner(o.left, o.top, o.right, o.bottom,
                                      c.visible));
    ASSERT_NE(dialog, nullptr);
    const RECT box = Rect(dialog);
    EXPECT_TRUE(box.left >= work_.left && box.top >= work_.top &&
                box.right <= right && box.bottom <= bottom);
    if (c.centre.x < right) {
      EXPECT_NEAR((box.left + box.right) / 2, c.centre.x, 1);
      EXPECT_NEAR((box.top + box.bottom) / 2, c.centre.y, 1);
    }
    DestroyWindow(owner_);
    owner_ = nullptr;
  }
  const HWND dialog = Display();
  const LONG style = GetWindowLongA(dialog, GWL_STYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_SYSMENU),
            WS_POPUP | WS_CAPTION | DS_MODALFRAME);
  // Each position and size is mapped on its own, as the dialog manager does.
  const struct {
    int id;
    RECT units;  // x, y, width, height
  } items[] = {{0, {0, 0, 226, 57}}, {204, {7, 7, 212, 20}},
               {203, {158, 28, 61, 9}}, {202, {7, 38, 212, 12}}};
  for (const auto& item : items) {
    RECT want = item.units, got;
    MapDialogRect(dialog, &want);
    want.right += want.left;
    want.bottom += want.top;
    if (item.id == 0) {
      GetClientRect(dialog, &got);
    } else {
      got = Rect(GetDlgItem(dialog, item.id));
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
    }
    EXPECT_TRUE(EqualRect(&want, &got)) << item.id;
  }
}

}  // namespace
}  // namespace q7k
