// The q7k-emulator command line: parses the options into EmulatorOptions.
//
// Thread safety: none needed; pure apart from writing to out and err.
#ifndef Q7K_EMULATOR_OPTIONS_H_
#define Q7K_EMULATOR_OPTIONS_H_

#include <ostream>

#include "emulator.h"

namespace q7k {
namespace emu {

// Exit codes besides 0 and CLI11's own for a wrong command line.
// It could not start (line, trace or board directory), or its line was
// lost and could not be opened again.
inline constexpr int kExitLineFailed = 1;
inline constexpr int kExitBadRecording = 2;
inline constexpr int kExitReplayDiverged = 3;

struct CommandLine {
  EmulatorOptions options;
  bool exit = false;  // help shown or the command line was wrong
  int exitCode = 0;
};

// Parses argv and loads the --replay recording; help goes to out, errors
// to err (then exit is set).
CommandLine ParseCommandLine(int argc, const char* const* argv,
                             std::ostream& out, std::ostream& err);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_OPTIONS_H_
