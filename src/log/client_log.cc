#include "log/client_log.h"

#include <cstdio>
#include <memory>

#include "log/trace_log.h"
#include "platform/clock.h"
#include "platform/codepage.h"

namespace q7k {
namespace {

// Closes a stdio file on scope exit.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void ClientLog::BeginLog(std::u16string_view name) {
  SetName(name);
  // A name with an embedded zero names the file up to that zero, as the
  // narrow file functions read it.
  const std::string path = WideToAnsi(name_);
  if (File(std::fopen(path.c_str(), "rb")) == nullptr) {
    if (File log{std::fopen(path.c_str(), "ab")}) {
      std::fputs(path.c_str(), log.get());
    }
  }
  const std::string timeLine = FormatTimeLine(CurrentClock().LocalTime());
  if (File log{std::fopen(path.c_str(), "ab")}) {
    std::fprintf(log.get(), "\n%s", timeLine.c_str());
  }
}

void ClientLog::WriteToLog(std::u16string_view entry) const {
  if (name_.empty()) return;
  const std::string path = WideToAnsi(name_);
  const std::string text = WideToAnsi(entry);
  if (File log{std::fopen(path.c_str(), "ab")}) {
    std::fprintf(log.get(), "%s\n", text.c_str());
  }
}

}  // namespace q7k
