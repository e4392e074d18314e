#include "ui/terminal_progress_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/pty_pair.h"

namespace q7k {
namespace {

ProgressState State() {
  ProgressState state;
  state.title = u"Q7300 Communications";
  state.message = u"Downloading";
  return state;
}

// Reads size bytes from the pseudo-terminal's master (within a generous
// deadline), then whatever else is already waiting.
std::string ReadBytes(int master, size_t size) {
  std::string bytes;
  pollfd fds{master, POLLIN, 0};
  char buffer[256];
  ssize_t n = 0;
  while (poll(&fds, 1, bytes.size() < size ? 5000 : 0) == 1 &&
         (n = read(master, buffer, sizeof buffer)) > 0) {
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

TEST(TerminalProgressViewTest, FormatsTitleMessageBarAndLabel) {
  ProgressState state = State();
  EXPECT_EQ(TerminalProgressView::FormatLine(state),
            "Q7300 Communications: Downloading");

  state.barVisible = true;
  state.position = 50;
  state.label = u"Termin\u00e9: 50 %";
  EXPECT_EQ(TerminalProgressView::FormatLine(state),
            "Q7300 Communications: Downloading  [##########..........]  "
            "Termin\xc3\xa9: 50 %");

  state.message = u"two\nlines";  // would break the single line
  state.position = -5;
  EXPECT_EQ(TerminalProgressView::FormatLine(state).substr(0, 55),
            "Q7300 Communications: two lines  [....................]");
}

TEST(TerminalProgressViewTest, DrawsOneSelfUpdatingLineOnATerminal) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  const int slave = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  {
    TerminalProgressView view(slave);
    ProgressState state = State();
    ASSERT_TRUE(view.Open(7, state));
    state.barVisible = true;
    state.position = 100;
    state.label = u"Completed: 100 %";
    view.Update(state);
  }
  const std::string expected =
      "\r\x1b[2KQ7300 Communications: Downloading"
      "\r\x1b[2KQ7300 Communications: Downloading  "
      "[####################]  Completed: 100 %"
      "\r\x1b[2K";
  EXPECT_EQ(ReadBytes(pty.master(), expected.size()), expected);
  close(slave);
}

TEST(TerminalProgressViewTest, DrawsNothingWhenNotATerminal) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
  {
    TerminalProgressView view(fds[1]);
    EXPECT_TRUE(view.Open(0, State()));
    view.Update(State());
  }
  char byte;
  EXPECT_EQ(read(fds[0], &byte, 1), -1);
  EXPECT_EQ(errno, EAGAIN);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace q7k
