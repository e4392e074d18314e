// demo: the main job. A complete power-factor session on the component's
// simulator, or with --emulator over a real serial line to the virtual
// instrument running in this process, after the firmware check has
// downloaded a sample firmware into it.
#include <memory>

#include "insulation_test_session.h"
#include "interrupt.h"
#include "platform_texts.h"
#include "records.h"
#include "result_table.h"
#include "tool.h"
#include "virtual_bench.h"

namespace q7k::tool {
namespace {

constexpr short kProgrammingTimeoutSec = 60;

struct DemoOptions {
  SessionOptions session;
  bool emulator = false;
};

// The virtual instrument brought to the sample firmware by the firmware
// check.
int StartBench(Tool& tool, VirtualBench* bench) {
  const int status = bench->Start(tool);
  if (status != kExitOk) return status;
  if (!tool.SetupPort(kProgrammingTimeoutSec)) return kExitFailed;
  IQ7kComm* comm = tool.Component();
  if (FAILED(comm->ReadFlashDirectory())) {
    return tool.Fail("ReadFlashDirectory");
  }
  if (!tool.json()) {
    std::printf("Firmware check done; flash directory:\n");
    PrintFlashTable(FlashEntries(comm), stdout);
  }
  return kExitOk;
}

int RunDemo(Tool& tool, const DemoOptions& demo) {
  GlobalOptions& g = tool.mutable_options();
  VirtualBench bench;
  // Either would be quietly overridden, and the session taken for one on
  // the instrument meant.
  const char* conflict = !g.device.empty() ? "--device (test run uses it)"
                         : demo.emulator && g.simulate != SIMUL_NONE
                             ? "--simulate"
                             : nullptr;
  if (conflict != nullptr) {
    std::fprintf(stderr, "q7k: demo runs on %s; leave out %s\n",
                 demo.emulator ? "the virtual instrument" : "the simulator",
                 conflict);
    return kExitUsage;
  }
  if (demo.emulator) {
    const int status = StartBench(tool, &bench);
    if (status != kExitOk) {
      if (IQ7kComm* comm = tool.Component()) comm->ClosePort();
      return status;
    }
  } else {
    if (g.simulate == SIMUL_NONE) g.simulate = SIMUL_EXC;
    if (!tool.OpenPort()) return kExitFailed;
  }
  SessionOptions session = demo.session;
  const InterruptGuard interrupt;
  session.stopRequested = [&interrupt] { return interrupt.requested(); };
  SessionResult result;
  const HRESULT hr = RunTestSession(tool.Component(), session, &result,
                                    tool.json() ? nullptr : stdout);
  const int status = ReportSession(tool, hr, result);
  tool.Component()->ClosePort();
  if (tool.options().trace && demo.emulator) {
    std::fprintf(stderr, "q7k: trace log kept in %s/Q7kComm.log\n",
                 bench.directory().c_str());
  }
  return status;
}

}  // namespace

Q7K_COMMAND(demo, 10) {
  auto demo = std::make_shared<DemoOptions>();
  auto* cmd = parent->add_subcommand(
      "demo",
      "Run a complete power-factor test session on the built-in simulator "
      "and print the results; with --emulator, on the virtual instrument "
      "over a serial line, after its firmware check");
  cmd->add_option("--kv", demo->session.kVolts, "Test voltage in kV")
      ->check(CLI::Range(0.001, 12.0))
      ->capture_default_str();
  cmd->add_flag("--emulator", demo->emulator, kEmulatorHelp);
  return {Runner(cmd, [demo](Tool& tool) { return RunDemo(tool, *demo); })};
}

}  // namespace q7k::tool
