// The progress window as a host sees it on the screen: the real dialog of
// q7kcomm.dll, found among the thread's windows and read back.
#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs the base declarations first.
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace {

std::wstring Text(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}

// DisplayMsgDlg over owner; the thread's dialog then, or null.
HWND Display(const ComPtr<IQ7kComm>& comm, HWND owner) {
  Bstr message(u"Downloading");
  EXPECT_EQ(comm->DisplayMsgDlg(
                static_cast<int32_t>(reinterpret_cast<intptr_t>(owner)),
                message.get()),
            S_OK);
  HWND w = nullptr;
  while ((w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr &&
         GetWindowThreadProcessId(w, nullptr) != GetCurrentThreadId()) {
  }
  return w;
}

TEST(ProgressDialogHost, ShowsTextsBarAndPlace) {
  RECT work, box;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const LONG x = (work.left + work.right) / 2, y = (work.top + work.bottom) / 2;
  // The owner's x, y, width and height (none when 0 wide), and where the
  // dialog's centre is (x < 0: only wholly inside the work area).
  // clang-format off
  const struct {
    Q7K_LANGUAGE language;
    int16_t step1, step2;
    const wchar_t *title, *label;
    LRESULT position;
    RECT owner;
    int show;
    POINT centre;
  } cases[] = {
      {LANGUAGE_ENGLISH, 5, -10, L"Q7300 Communications", L"Completed: -5 %",
       0, {}, SW_SHOWNA, {x, y}},
      {LANGUAGE_ENGLISH, 42, 0, L"Q7300 Communications", L"Completed: 42 %",
       42, {200, 150, 400, 300}, SW_SHOWNA, {400, 300}},
      {LANGUAGE_FRENCH, 42, 0, L"Communication du Q7300", L"Termin\u00e9: 42 %",
       42, {200, 150, 400, 300}, SW_HIDE, {x, y}},
      {LANGUAGE_ENGLISH, 98, 5, L"Q7300 Communications", L"Completed: 100 %",
       100, {work.right - 60, work.bottom - 20, 100, 100}, SW_SHOWNA, {-1, -1}},
  };
  // clang-format on
  ComPtr<IQ7kComm> comm;
  ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm.AsVoidOut()),
            S_OK);
  HWND owner = nullptr;
  for (const auto& c : cases) {
    const RECT& o = c.owner;
    owner = o.right == 0 ? nullptr
                         : CreateWindowExA(0, "STATIC", "", WS_POPUP, o.left,
                                           o.top, o.right, o.bottom, nullptr,
                                           nullptr, nullptr, nullptr);
    ShowWindow(owner, c.show);
    comm->put_Language(c.language);
    const HWND dialog = Display(comm, owner);
    const HWND bar = GetDlgItem(dialog, 202), label = GetDlgItem(dialog, 203);
    EXPECT_EQ(Text(dialog), c.title);
    EXPECT_EQ(Text(GetDlgItem(dialog, 204)), L"Downloading");
    EXPECT_FALSE(IsWindowVisible(bar) || IsWindowVisible(label));
    comm->ShowMsgProgress(0, 100);
    EXPECT_TRUE(IsWindowVisible(bar) && IsWindowVisible(label));
    comm->StepMsgProgress(c.step1);
    comm->StepMsgProgress(c.step2);
    EXPECT_EQ(Text(label), c.label);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), c.position) << c.label;
    GetWindowRect(dialog, &box);
    EXPECT_TRUE(box.left >= work.left && box.top >= work.top &&
                box.right <= work.right && box.bottom <= work.bottom);
    EXPECT_TRUE(c.centre.x < 0 ||
                (abs(box.left + box.right - 2 * c.centre.x) <= 2 &&
                 abs(box.top + box.bottom - 2 * c.centre.y) <= 2))
        << c.label;
    comm->DestroyMsgDlg();
    if (owner != nullptr) DestroyWindow(owner);
  }
  EXPECT_EQ(Display(comm, owner), nullptr);  // no longer a window
  const HWND first = Display(comm, nullptr), dialog = Display(comm, nullptr);
  EXPECT_FALSE(IsWindow(first));
  // The component's wait pumps the dialog's messages: it repaints.
  ASSERT_EQ(comm->put_SimulMode(SIMUL_CLIP), S_OK);
  ASSERT_EQ(comm->OpenPort(COM3, BPS_115200), S_OK);
  InvalidateRect(dialog, nullptr, TRUE);
  EXPECT_EQ(comm->TimerDelay(50, 1), S_OK);
  EXPECT_FALSE(GetUpdateRect(dialog, nullptr, FALSE));
  EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) &
                (WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_SYSMENU),
            WS_POPUP | WS_CAPTION | DS_MODALFRAME);
  // Dialog units; place and size each mapped on its own, as a template's.
  const int items[][5] = {{0, 0, 0, 226, 57},
                          {204, 7, 7, 212, 20},
                          {203, 158, 28, 61, 9},
                          {202, 7, 38, 212, 12}};
  for (const auto& i : items) {
    RECT want = {i[1], i[2], i[3], i[4]};
    MapDialogRect(dialog, &want);
    if (i[0] == 0) {
      GetClientRect(dialog, &box);
    } else {
      GetWindowRect(GetDlgItem(dialog, i[0]), &box);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    }
    EXPECT_TRUE(box.left == want.left && box.top == want.top &&
                box.right - box.left == want.right &&
                box.bottom - box.top == want.bottom)
        << i[0];
  }
}

}  // namespace
}  // namespace q7k
