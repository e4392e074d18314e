// The frame every q7k command runs in: the global options, the component
// object they configure, uniform failure reporting and the command registry.
//
// A command is one file in commands/ that registers itself:
//
//   Q7K_COMMAND(thermal, 60) {
//     auto* cmd = parent->add_subcommand("thermal", "Read the thermal data");
//     return Runner(cmd, [](Tool& tool) { ... return 0; });
//   }
//
// The number orders the commands in the help text.
#ifndef Q7K_TOOLS_Q7K_TOOL_H_
#define Q7K_TOOLS_Q7K_TOOL_H_

#include <q7kcomm/q7kcomm.h>

#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace q7k::tool {

// The named values an option takes, in the order the help lists them.
template <typename T>
using Choices = std::vector<std::pair<std::string, T>>;

// Turns a name of choices into its value; anything else is a usage error
// that lists the names.
template <typename T>
CLI::Validator Choice(const Choices<T>& choices) {
  std::string names;
  for (const auto& c : choices) names += (names.empty() ? "" : ", ") + c.first;
  return CLI::Validator(
      [choices, names](std::string& value) -> std::string {
        for (const auto& c : choices) {
          if (c.first == value) {
            value = std::to_string(static_cast<long long>(c.second));
            return {};
          }
        }
        return "'" + value + "' is not one of " + names;
      },
      "");
}

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the component or the instrument said no
constexpr int kExitUsage = 2;   // the command line was wrong
constexpr int kExitInterrupted = 130;  // Ctrl-C, as shells report it

// ErrorCode after the instrument reported a watchdog reset.
constexpr short kWatchdogResetCode = 20;

struct GlobalOptions {
  int port = 1;
  std::string device;  // non-empty: the path port `port` opens for this run
  Q7K_BPS bps = BPS_115200;
  SIMUL_MODE simulate = SIMUL_NONE;
  bool fast = false;
  Q7K_LANGUAGE language = LANGUAGE_ENGLISH;
  bool trace = false;
  std::string record;  // non-empty: the session's recording file
  bool json = false;
};

class Tool {
 public:
  explicit Tool(GlobalOptions options) : options_(std::move(options)) {}

  const GlobalOptions& options() const { return options_; }
  // Commands may adjust the options before the component is created.
  GlobalOptions& mutable_options() { return options_; }
  bool json() const { return options_.json; }

  // The component with language, trace and simulation set from the global
  // options; null (after a message) when it cannot be created.
  IQ7kComm* Component();
  // Points the chosen port at --device, when given.
  void MapDevice() const;
  // The same object's board and calibration interfaces; null (after a
  // message) when the component cannot be created.
  IQ7kEeprom* Eeprom();
  IQ7kCalStatus* CalStatus();
  // Opens the chosen port (or the simulated one). False after Fail().
  bool OpenPort();
  // Brings the instrument to the firmware of Q7I.X0 in the current
  // directory, then opens the port (SetupComm), recovering from a watchdog
  // reset the way the component expects. False after Fail().
  bool SetupPort(short timeoutSec);
  // Reports the component's current error for a failed call: a line on
  // standard error and, with --json, an error object on standard output.
  // Returns kExitFailed.
  int Fail(const char* call);
  // The same for an error taken earlier.
  int Fail(const std::string& call, short code, const std::string& message);
  // Reports a problem found by the tool itself (not by the component).
  int FailWith(const std::string& message);

  // Writes a command's result object as one JSON document.
  void PrintJson(const nlohmann::json& result) const;
  // Whether standard output is a terminal (live displays only then).
  bool Interactive() const;

 private:
  GlobalOptions options_;
  ComPtr<IQ7kComm> comm_;
  ComPtr<IQ7kEeprom> eeprom_;
  ComPtr<IQ7kCalStatus> calStatus_;
};

// Runs a chosen command; returns the exit status.
using RunFunction = std::function<int(Tool&)>;

// The leaf subcommand that runs, and what it runs.
struct Runner {
  Runner(CLI::App* app, RunFunction run) : app(app), run(std::move(run)) {}
  CLI::App* app;
  RunFunction run;
};

// Adds a command (and any nested commands) to parent.
using AddCommand = std::function<std::vector<Runner>(CLI::App* parent)>;

struct CommandEntry {
  int order;
  AddCommand add;
};

// Every registered command, in registration order.
std::vector<CommandEntry>& CommandRegistry();

struct CommandRegistrar {
  CommandRegistrar(int order, AddCommand add) {
    CommandRegistry().push_back({order, std::move(add)});
  }
};

#define Q7K_COMMAND(name, order)                                           \
  static std::vector<::q7k::tool::Runner> Add_##name(CLI::App* parent);    \
  static const ::q7k::tool::CommandRegistrar registrar_##name(order,       \
                                                              Add_##name); \
  static std::vector<::q7k::tool::Runner> Add_##name(CLI::App* parent)

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_TOOL_H_
