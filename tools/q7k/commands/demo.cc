// demo: the main job. A complete power-factor session on the component's
// simulator, or with --emulator over a real serial line to the virtual
// instrument running in this process.
#include <memory>

#include "emulator.h"
#include "result_table.h"
#include "test_session.h"
#include "tool.h"

namespace q7k::tool {
namespace {

struct DemoOptions {
  SessionOptions session;
  bool emulator = false;
};

int RunDemo(Tool& tool, const DemoOptions& demo) {
  GlobalOptions& g = tool.mutable_options();
  // Declared first so that it outlives the component's port.
  std::unique_ptr<Emulator> emulator;
  if (demo.emulator) {
    if (g.simulate != SIMUL_NONE) {
      return tool.FailWith(
          "demo --emulator drives the virtual instrument; "
          "leave out --simulate");
    }
    emulator = std::make_unique<Emulator>();
    const std::string path = emulator->Start();
    if (path.empty()) {
      return tool.FailWith("cannot start the virtual instrument: " +
                           emulator->error());
    }
    g.device = path;
    if (!tool.json()) std::printf("Virtual instrument on %s\n", path.c_str());
  } else if (g.simulate == SIMUL_NONE) {
    g.simulate = SIMUL_EXC;
  }
  if (!tool.OpenPort()) return kExitFailed;
  SessionResult result;
  const HRESULT hr = RunTestSession(tool.Component(), demo.session, &result,
                                    tool.json() ? nullptr : stdout);
  const int status = ReportSession(tool, hr, result);
  tool.Component()->ClosePort();
  return status;
}

}  // namespace

Q7K_COMMAND(demo, 10) {
  auto demo = std::make_shared<DemoOptions>();
  auto* cmd = parent->add_subcommand(
      "demo",
      "Run a complete power-factor test session on the built-in simulator "
      "(or, with --emulator, on the virtual instrument over a serial line) "
      "and print the results");
  cmd->add_option("--kv", demo->session.kVolts, "Test voltage in kV")
      ->check(CLI::Range(0.001, 12.0))
      ->capture_default_str();
  cmd->add_flag("--emulator", demo->emulator,
                "Start the virtual instrument on a pseudo-terminal in this "
                "process and run the session through the serial port");
  return {Runner(cmd, [demo](Tool& tool) { return RunDemo(tool, *demo); })};
}

}  // namespace q7k::tool
