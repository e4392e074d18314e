// The progress window and its view on a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/codepage.h"
#include "q7kcomm/types.h"
#include "resources/catalog.h"
#include "support/pty_pair.h"
#include "support/recording_progress_view.h"
#include "ui/progress_dialog.h"
#include "ui/terminal_progress_view.h"

namespace q7k {
namespace {

ProgressTextLoader Texts(Q7K_LANGUAGE language = LANGUAGE_ENGLISH) {
  return
      [language](int32_t id) { return AnsiToWide(CatalogText(id, language)); };
}

class ProgressDialogTest : public ::testing::Test {
 protected:
  // Opens a window with the bar shown over lower..upper at position.
  void OpenAt(int16_t lower, int16_t upper, int16_t position,
              Q7K_LANGUAGE language = LANGUAGE_ENGLISH) {
    slot_.Display(0, u"Working", Texts(language));
    ASSERT_NE(slot_.dialog(), nullptr);
    slot_.ShowProgress(lower, upper);
    slot_.Step(position - slot_.dialog()->state().position);
  }

  RecordingProgressViews views_;
  ProgressDialogSlot slot_;
};

// U+0141 is not in Windows-1252; the window shows what is left of the
// message before an embedded zero.
TEST_F(ProgressDialogTest, OpensWithTitleMessageAndHiddenBar) {
  slot_.Display(0, std::u16string(u"\u0141\u00e9t\0tail", 8), Texts());
  ASSERT_EQ(views_.events().size(), 1u);
  const ProgressViewEvent& open = views_.events()[0];
  EXPECT_EQ(open.kind, ProgressViewEvent::kOpen);
  EXPECT_EQ(open.state.title, u"Q7300 Communications");
  EXPECT_EQ(open.state.message, u"?\u00e9t");
  EXPECT_FALSE(open.state.barVisible);
  EXPECT_EQ(open.state.label, u"Termin\u00e9: 100 %");
  slot_.ShowProgress(0, 100);  // the template label stays until a step
  EXPECT_TRUE(views_.Last().barVisible);
  EXPECT_EQ(views_.Last().upper, 100);
  EXPECT_EQ(views_.Last().label, u"Termin\u00e9: 100 %");
}

TEST_F(ProgressDialogTest, StepsClampTheBarButLabelTheSum) {
  struct Case {
    const char* what;
    int16_t lower, upper, start, step;
    int16_t position;
    const char16_t* label;
  };
  const Case cases[] = {
      {"clamped at the upper limit", 0, 100, 98, 5, 100, u"Completed: 100 %"},
      {"the label follows the range, not percent", 10, 20, 10, 3, 13,
       u"Completed: 13 %"},
      {"below the range the bar rests low", 0, 100, 5, -10, 0,
       u"Completed: -5 %"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenAt(c.lower, c.upper, c.start);
    slot_.Step(c.step);
    EXPECT_EQ(views_.Last().position, c.position);
    EXPECT_EQ(views_.Last().label, c.label);
  }
  slot_.Step(10);  // from what the bar shows, not from -5
  EXPECT_EQ(views_.Last().position, 10);
}

// French texts and an owner window go through the component's own test.
TEST_F(ProgressDialogTest, WithoutTextsTheTitleStaysAndTheLabelIsTheTemplate) {
  OpenAt(0, 100, 42, LANGUAGE_FRENCH);
  slot_.Display(0, u"Working", nullptr);
  slot_.ShowProgress(0, 100);
  slot_.Step(42);
  EXPECT_EQ(views_.Last().title, u"Communication du Q7300");
  EXPECT_EQ(views_.Last().label, u" 42 %");
}

// An owner that is no window at all: the component's own test.
TEST_F(ProgressDialogTest, SecondDisplayClosesTheFirstWindowFirst) {
  constexpr int32_t kHidden = 0x5a5a;  // still owns the window
  slot_.Display(0, u"one", Texts());
  RegisterWindow(kHidden, /*visible=*/false);
  slot_.Display(kHidden, u"two", Texts());
  UnregisterWindow(kHidden);
  std::vector<std::pair<int, int>> calls;  // kind, view
  for (const auto& e : views_.events()) calls.emplace_back(e.kind, e.view);
  EXPECT_EQ(calls,
            (std::vector<std::pair<int, int>>{{ProgressViewEvent::kOpen, 1},
                                              {ProgressViewEvent::kClose, 1},
                                              {ProgressViewEvent::kOpen, 2}}));
  EXPECT_EQ(views_.Last().message, u"two");
  EXPECT_EQ(views_.events().back().ownerHandle, kHidden);
  EXPECT_EQ(views_.open_views(), 1);
}

// After Destroy, or a view that could not open or be made, there is no
// window and calls change nothing.
TEST_F(ProgressDialogTest, WithoutAWindowCallsChangeNothing) {
  slot_.Display(0, u"x", Texts());
  slot_.Destroy();
  slot_.ShowProgress(0, 100);
  slot_.Step(5);
  ASSERT_EQ(views_.events().size(), 2u);
  EXPECT_EQ(views_.events()[1].kind, ProgressViewEvent::kClose);
  EXPECT_EQ(slot_.dialog(), nullptr);

  views_.FailOpen(true);
  slot_.Display(0, u"x", Texts());
  EXPECT_EQ(slot_.dialog(), nullptr);
  EXPECT_EQ(views_.open_views(), 0);
  slot_.Step(1);
  EXPECT_EQ(views_.events().size(), 4u);  // its open and close, no step

  SetProgressViewFactory([] { return std::unique_ptr<ProgressView>(); });
  EXPECT_EQ(ProgressDialog::Open(0, u"x", nullptr), nullptr);
}

ProgressState State(bool bar = false, int16_t position = 0,
                    const char16_t* label = u"") {
  ProgressState state;
  state.title = u"Q7300 Communications";
  state.message = u"Downloading";
  state.barVisible = bar;
  state.position = position;
  state.label = label;
  return state;
}

// Without a bar: DrawsOnlyOnATerminal.
TEST(TerminalProgressViewTest, FormatsTitleMessageBarAndLabel) {
  EXPECT_EQ(
      TerminalProgressView::FormatLine(State(true, 50, u"Termin\u00e9: 50 %")),
      "Q7300 Communications: Downloading  [##########..........]  "
      "Termin\xc3\xa9: 50 %");
  ProgressState state = State(true, -5);
  state.message = u"two\nlines";  // would break the single line
  EXPECT_EQ(TerminalProgressView::FormatLine(state).substr(0, 55),
            "Q7300 Communications: two lines  [....................]");
}

// On a terminal one self-updating line, erased at the end; elsewhere
// nothing at all.
TEST(TerminalProgressViewTest, DrawsOnlyOnATerminal) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  int pipeEnds[2];
  ASSERT_EQ(pipe2(pipeEnds, O_NONBLOCK), 0);
  const int slave = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  for (int fd : {slave, pipeEnds[1]}) {
    TerminalProgressView view(fd);
    ASSERT_TRUE(view.Open(7, State()));
    view.Update(State(true, 100, u"Completed: 100 %"));
  }
  const std::string expected =
      "\r\x1b[2KQ7300 Communications: Downloading"
      "\r\x1b[2KQ7300 Communications: Downloading  "
      "[####################]  Completed: 100 %"
      "\r\x1b[2K";
  PtyPeer peer(pty.master());
  EXPECT_TRUE(peer.WaitReceived(expected.size()));
  const std::vector<uint8_t> got = peer.Received();
  EXPECT_EQ(std::string(got.begin(), got.end()), expected);
  char byte;
  EXPECT_EQ(read(pipeEnds[0], &byte, 1), -1);
  EXPECT_EQ(errno, EAGAIN);
  for (int fd : {slave, pipeEnds[0], pipeEnds[1]}) close(fd);
}

}  // namespace
}  // namespace q7k
