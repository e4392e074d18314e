#include "ui/terminal_progress_view.h"

#include <unistd.h>

#include <cerrno>

#include "platform/codepage.h"

namespace q7k {
namespace {

constexpr int kBarCells = 20;
// Back to the start of the line and erase it.
constexpr char kEraseLine[] = "\r\x1b[2K";

// The window's texts are code-page texts already; control characters would
// break the single line.
std::string TerminalText(const std::u16string& text) {
  std::string utf8 = AnsiToUtf8(WideToAnsi(text));
  for (char& c : utf8) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return utf8;
}

std::string Bar(const ProgressState& state) {
  const int64_t span = static_cast<int64_t>(state.upper) - state.lower;
  int64_t filled = 0;
  if (span > 0) {
    filled =
        (static_cast<int64_t>(state.position) - state.lower) * kBarCells / span;
  }
  if (filled < 0) filled = 0;
  if (filled > kBarCells) filled = kBarCells;
  return "[" + std::string(filled, '#') + std::string(kBarCells - filled, '.') +
         "]";
}

}  // namespace

TerminalProgressView::TerminalProgressView(int fd) : fd_(fd), drawing_(false) {}

TerminalProgressView::~TerminalProgressView() {
  if (drawing_) Write(kEraseLine);
}

bool TerminalProgressView::Open(int32_t /*ownerHandle*/,
                                const ProgressState& state) {
  drawing_ = isatty(fd_) == 1;
  Update(state);
  return true;
}

void TerminalProgressView::Update(const ProgressState& state) {
  if (drawing_) Write(kEraseLine + FormatLine(state));
}

std::string TerminalProgressView::FormatLine(const ProgressState& state) {
  std::string line =
      TerminalText(state.title) + ": " + TerminalText(state.message);
  if (state.barVisible) {
    line += "  " + Bar(state) + "  " + TerminalText(state.label);
  }
  return line;
}

void TerminalProgressView::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a display that fails is not worth an error
    done += static_cast<size_t>(n);
  }
}

}  // namespace q7k
