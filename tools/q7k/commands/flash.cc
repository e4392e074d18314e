// flash: the applications in the instrument's flash: list them, download
// an image, run or delete an entry, and write the sample firmware image.
#include <unistd.h>

#include <memory>
#include <string>

#include "records.h"
#include "sample_image.h"
#include "tool.h"
#include "work_dir.h"

namespace q7k::tool {
namespace {

constexpr char kBootLoaderName[] = "POSTLOAD";
// The component keeps image file names in a 16-byte field.
constexpr size_t kMaxImageName = 15;

struct DownloadOptions {
  std::string file;
  int timeoutSec = 60;
  bool run = false;
};

int ListFlash(Tool& tool) {
  if (!tool.OpenPort()) return kExitFailed;
  IQ7kComm* comm = tool.Component();
  if (FAILED(comm->ReadFlashDirectory())) {
    return tool.Fail("ReadFlashDirectory");
  }
  const std::vector<AppIdentity> entries = FlashEntries(comm);
  comm->ClosePort();
  if (tool.json()) {
    tool.PrintJson({{"flash", ToJson(entries)}});
  } else {
    PrintFlashTable(entries, stdout);
  }
  return kExitOk;
}

// "<name>.X0" within the component's length limit; empty when fine.
std::string CheckImageName(const std::string& name) {
  // The header is read from the part before the first dot plus ".X0".
  const size_t dot = name.find('.');
  if (dot == 0 || dot == std::string::npos || name.substr(dot) != ".X0") {
    return "an image file is named <name>.X0, not '" + name + "'";
  }
  if (name.size() > kMaxImageName) {
    return "image file names hold at most 15 characters: '" + name + "'";
  }
  return {};
}

// The download as the boot loader expects it: loader running, the image
// announced, sent, programmed, then found in the directory.
int Download(Tool& tool, const DownloadOptions& options) {
  const PathParts path = SplitPath(options.file);
  const std::string problem = CheckImageName(path.name);
  if (!problem.empty()) return tool.FailWith(problem);
  if (access(options.file.c_str(), R_OK) != 0) {
    return tool.FailWith(options.file + ": no such image file");
  }
  CurrentDirectory dir(path.dir);
  if (!dir.ok()) return tool.FailWith(dir.error());
  if (!tool.OpenPort()) return kExitFailed;
  IQ7kComm* comm = tool.Component();
  const GlobalOptions& g = tool.options();
  const short timeout = static_cast<short>(options.timeoutSec);

  const Bstr appName = Bstr::FromUtf8(path.name.substr(0, path.name.find('.')));
  if (FAILED(comm->ReadDiskAppInfo(appName.get()))) {
    return tool.Fail("ReadDiskAppInfo");
  }
  const AppIdentity image = ReadAppIdentity(comm);
  if (FAILED(comm->ReadAppInfo())) return tool.Fail("ReadAppInfo");
  if (ReadAppIdentity(comm).name.rfind(kBootLoaderName, 0) != 0) {
    if (!tool.json()) std::printf("Restarting the boot loader (7 s)\n");
    if (FAILED(comm->RestartBootLoader(static_cast<Q7K_PORT>(g.port), g.bps,
                                       timeout))) {
      return tool.Fail("RestartBootLoader");
    }
  }
  const Bstr file = Bstr::FromUtf8(path.name);
  if (FAILED(comm->FillAppParams(file.get()))) {
    return tool.Fail("FillAppParams");
  }
  if (FAILED(comm->SendAppParams())) return tool.Fail("SendAppParams");
  if (FAILED(comm->DownloadApp(file.get()))) return tool.Fail("DownloadApp");
  if (FAILED(comm->DownloadComplete(timeout))) {
    return tool.Fail("DownloadComplete");
  }
  short entry = 0;
  const auto text = [](const std::string& s) { return Bstr::FromUtf8(s); };
  if (FAILED(comm->SearchForApp(text(image.name).get(), text(image.date).get(),
                                text(image.time).get(),
                                text(image.version).get(), &entry))) {
    return tool.Fail("SearchForApp");
  }
  if (entry == 0) {
    comm->ClosePort();
    return tool.FailWith(
        image.name.empty()
            ? "the image has no identity record, so its entry is unknown"
            : "the programmed image is not in the flash directory");
  }
  if (options.run && FAILED(comm->ExecuteApp(entry))) {
    return tool.Fail("ExecuteApp");
  }
  comm->ClosePort();
  if (tool.json()) {
    tool.PrintJson(
        {{"image", ToJson(image)}, {"entry", entry}, {"running", options.run}});
  } else {
    std::printf("Programmed %s %s as entry %d%s\n", image.name.c_str(),
                image.version.c_str(), entry,
                options.run ? " and started it" : "");
  }
  return kExitOk;
}

// ExecuteApp or DeleteApp of one entry.
int OnEntry(Tool& tool, HRESULT (Q7K_STDCALL IQ7kComm::*method)(short),
            const char* call, int entry, const char* done) {
  if (!tool.OpenPort()) return kExitFailed;
  if (FAILED((tool.Component()->*method)(static_cast<short>(entry)))) {
    return tool.Fail(call);
  }
  tool.Component()->ClosePort();
  if (tool.json()) {
    tool.PrintJson({{"entry", entry}, {"action", done}});
  } else {
    std::printf("Entry %d %s\n", entry, done);
  }
  return kExitOk;
}

int WriteSample(Tool& tool, const std::string& dir, const SampleImage& image) {
  const std::string path = dir + "/Q7I.X0";
  if (!WriteSampleFirmware(path, image)) {
    return tool.FailWith(path + ": cannot write the image");
  }
  if (tool.json()) {
    tool.PrintJson({{"image", path}, {"version", image.version}});
  } else {
    std::printf("%s\n", path.c_str());
  }
  return kExitOk;
}

CLI::Option* AddEntry(CLI::App* cmd, int* entry) {
  return cmd
      ->add_option("ENTRY", *entry,
                   "Entry number, from 1, as flash list shows it")
      ->required()
      ->check(CLI::Range(1, 32767));
}

}  // namespace

Q7K_COMMAND(flash, 27) {
  auto* flash = parent->add_subcommand(
      "flash", "List, download, run and delete the instrument's applications");
  flash->require_subcommand(1);
  std::vector<Runner> runners;

  auto* list = flash->add_subcommand(
      "list",
      "List the applications in flash: name, date, time, version "
      "and description");
  runners.emplace_back(list, ListFlash);

  auto download = std::make_shared<DownloadOptions>();
  auto* load = flash->add_subcommand(
      "download",
      "Download an application image into flash: restart the boot loader "
      "(unless it runs), announce, send and program the image");
  load->add_option("FILE", download->file,
                   "The image file <name>.X0; the component reads it in "
                   "its own directory (where --trace then writes "
                   "Q7kComm.log)")
      ->required();
  load->add_option("--timeout", download->timeoutSec,
                   "Seconds the flash programming may take (at least 20)")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  load->add_flag("--run", download->run, "Start the application afterwards");
  runners.emplace_back(
      load, [download](Tool& tool) { return Download(tool, *download); });

  auto entry = std::make_shared<int>(0);
  auto* run = flash->add_subcommand("run", "Start the application of an entry");
  AddEntry(run, entry.get());
  runners.emplace_back(run, [entry](Tool& tool) {
    return OnEntry(tool, &IQ7kComm::ExecuteApp, "ExecuteApp", *entry,
                   "started");
  });
  auto* del = flash->add_subcommand("delete", "Delete an entry from flash");
  AddEntry(del, entry.get());
  runners.emplace_back(del, [entry](Tool& tool) {
    return OnEntry(tool, &IQ7kComm::DeleteApp, "DeleteApp", *entry, "deleted");
  });

  auto sampleDir = std::make_shared<std::string>(".");
  auto sample = std::make_shared<SampleImage>();
  auto* write = flash->add_subcommand(
      "sample",
      "Write a sample firmware image Q7I.X0 (a valid image with an identity "
      "and a version, no real firmware) to try setup and download on the "
      "virtual instrument");
  write->add_option("DIR", *sampleDir, "Directory to write it to")
      ->check(CLI::ExistingDirectory)
      ->capture_default_str();
  write
      ->add_option("--version", sample->version,
                   "Version it claims, 8 characters such as 01.20.02")
      ->check(CLI::Validator(
          [](std::string& v) {
            return v.size() == 8 ? std::string()
                                 : "a version has 8 characters, like 01.20.02";
          },
          "VERSION"))
      ->capture_default_str();
  runners.emplace_back(write, [sampleDir, sample](Tool& tool) {
    return WriteSample(tool, *sampleDir, *sample);
  });
  return runners;
}

}  // namespace q7k::tool
