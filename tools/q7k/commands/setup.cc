// setup: the firmware check a host runs before its first test. The
// instrument is brought to the firmware of Q7I.X0 (boot loader restart,
// download and programming as needed), then what runs is shown.
#include <unistd.h>

#include <memory>
#include <string>

#include "records.h"
#include "tool.h"
#include "work_dir.h"

namespace q7k::tool {
namespace {

struct SetupOptions {
  std::string firmware = "Q7I.X0";
  int timeoutSec = 60;
  bool reboot = false;
};

int RunSetup(Tool& tool, const SetupOptions& options) {
  const PathParts image = SplitPath(options.firmware);
  if (image.name != "Q7I.X0") {
    return tool.FailWith("the firmware image must be named Q7I.X0, not '" +
                         image.name + "'");
  }
  if (access(options.firmware.c_str(), R_OK) != 0) {
    return tool.FailWith(options.firmware + ": no such firmware image");
  }
  CurrentDirectory dir(image.dir);
  if (!dir.ok()) return tool.FailWith(dir.error());
  IQ7kComm* comm = tool.Component();
  if (comm == nullptr) return kExitFailed;
  // The check judges the version of whatever was read last: the image's.
  Bstr name = Bstr::FromUtf8("Q7I");
  if (FAILED(comm->ReadDiskAppInfo(name.get()))) {
    return tool.Fail("ReadDiskAppInfo");
  }
  const AppIdentity disk = ReadAppIdentity(comm);
  if (options.reboot) comm->put_RequireReboot(1);
  if (!tool.SetupPort(static_cast<short>(options.timeoutSec))) {
    return kExitFailed;
  }
  if (FAILED(comm->ReadAppInfo())) return tool.Fail("ReadAppInfo");
  const AppIdentity running = ReadAppIdentity(comm);
  comm->ClosePort();
  if (tool.json()) {
    tool.PrintJson({{"image", ToJson(disk)}, {"application", ToJson(running)}});
    return kExitOk;
  }
  std::printf("Firmware image       %s %s (%s %s)\n", disk.name.c_str(),
              disk.version.c_str(), disk.date.c_str(), disk.time.c_str());
  std::printf("Instrument runs      %s %s (%s %s)\n", running.name.c_str(),
              running.version.c_str(), running.date.c_str(),
              running.time.c_str());
  return kExitOk;
}

}  // namespace

Q7K_COMMAND(setup, 22) {
  auto options = std::make_shared<SetupOptions>();
  auto* cmd = parent->add_subcommand(
      "setup",
      "The firmware check: bring the instrument to the firmware image "
      "Q7I.X0 (restarting the boot loader, downloading and programming it "
      "when needed) and show what runs");
  cmd->add_option("--firmware", options->firmware,
                  "The firmware image; it must be named Q7I.X0, and the "
                  "component reads it in its own directory (where --trace "
                  "then writes Q7kComm.log)")
      ->type_name("PATH")
      ->capture_default_str();
  cmd->add_option("--timeout", options->timeoutSec,
                  "Seconds the flash programming may take (at least 20)")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  cmd->add_flag("--reboot", options->reboot,
                "Restart the boot loader and start the firmware from flash "
                "even when it already runs");
  return {
      Runner(cmd, [options](Tool& tool) { return RunSetup(tool, *options); })};
}

}  // namespace q7k::tool
