// TerminalProgressView: the default progress window, drawn as one line on a
// terminal that rewrites itself at every change and is erased when the
// window closes. On a descriptor that is not a terminal it draws nothing.
//
// Thread safety: one view is used by one thread at a time.
#ifndef Q7K_UI_TERMINAL_PROGRESS_VIEW_H_
#define Q7K_UI_TERMINAL_PROGRESS_VIEW_H_

#include <cstdint>
#include <string>

#include "q7kcomm/host.h"

namespace q7k {

class TerminalProgressView : public ProgressView {
 public:
  // fd is not owned; it must stay open for the view's lifetime.
  explicit TerminalProgressView(int fd = 2);
  ~TerminalProgressView() override;

  bool Open(int32_t ownerHandle, const ProgressState& state) override;
  void Update(const ProgressState& state) override;

  // The line drawn for state, as UTF-8 without control characters:
  // "title: message", plus "  [bar]  label" while the bar is shown.
  static std::string FormatLine(const ProgressState& state);

 private:
  void Write(const std::string& bytes);

  int fd_;
  bool drawing_;  // fd is a terminal and the window is open
};

}  // namespace q7k

#endif  // Q7K_UI_TERMINAL_PROGRESS_VIEW_H_
