// demo: the main job. A complete power-factor session on the component's
// simulator, or with --emulator over a real serial line to the virtual
// instrument running in this process, after the firmware check has
// downloaded a sample firmware into it.
#include <memory>

#include "embedded_emulator.h"
#include "insulation_test_session.h"
#include "records.h"
#include "result_table.h"
#include "sample_image.h"
#include "tool.h"
#include "work_dir.h"

namespace q7k::tool {
namespace {

constexpr short kProgrammingTimeoutSec = 60;

struct DemoOptions {
  SessionOptions session;
  bool emulator = false;
};

// Everything --emulator needs, in the order it must be torn down: the port
// closes before the instrument goes, the instrument before its directory.
struct VirtualBench {
  TempDirectory dir;
  std::unique_ptr<CurrentDirectory> inDir;
  std::unique_ptr<EmbeddedEmulator> emulator;
};

// A virtual instrument with only its boot loader, so that the firmware
// check has to download, program and start the sample firmware.
int StartBench(Tool& tool, VirtualBench* bench) {
  if (bench->dir.path().empty()) {
    return tool.FailWith("cannot make a temporary directory");
  }
  bench->inDir = std::make_unique<CurrentDirectory>(bench->dir.path());
  if (!bench->inDir->ok()) return tool.FailWith(bench->inDir->error());
  if (tool.options().trace) bench->dir.Keep();
  if (!WriteSampleFirmware("Q7I.X0", SampleImage())) {
    return tool.FailWith("cannot write the sample firmware image");
  }
  bench->emulator = std::make_unique<EmbeddedEmulator>(/*flashEmpty=*/true);
  const std::string path = bench->emulator->Start();
  if (path.empty()) {
    return tool.FailWith("cannot start the virtual instrument: " +
                         bench->emulator->error());
  }
  tool.mutable_options().device = path;
  if (!tool.json()) {
    std::printf("Virtual instrument on %s, flash empty\n", path.c_str());
    std::printf("Sample firmware image %s/Q7I.X0\n", bench->dir.path().c_str());
  }
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
  if (demo.emulator) {
    if (g.simulate != SIMUL_NONE) {
      return tool.FailWith(
          "demo --emulator drives the virtual instrument; "
          "leave out --simulate");
    }
    const int status = StartBench(tool, &bench);
    if (status != kExitOk) {
      if (IQ7kComm* comm = tool.Component()) comm->ClosePort();
      return status;
    }
  } else {
    if (g.simulate == SIMUL_NONE) g.simulate = SIMUL_EXC;
    if (!tool.OpenPort()) return kExitFailed;
  }
  SessionResult result;
  const HRESULT hr = RunTestSession(tool.Component(), demo.session, &result,
                                    tool.json() ? nullptr : stdout);
  const int status = ReportSession(tool, hr, result);
  tool.Component()->ClosePort();
  if (tool.options().trace && demo.emulator) {
    std::fprintf(stderr, "q7k: trace log kept in %s/Q7kComm.log\n",
                 bench.dir.path().c_str());
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
  cmd->add_flag("--emulator", demo->emulator,
                "Start the virtual instrument (boot loader only, flash "
                "empty) on a pseudo-terminal in this process; the firmware "
                "check then downloads, programs and starts a sample "
                "firmware image before the session runs over the serial "
                "port. Works in a temporary directory");
  return {Runner(cmd, [demo](Tool& tool) { return RunDemo(tool, *demo); })};
}

}  // namespace q7k::tool
