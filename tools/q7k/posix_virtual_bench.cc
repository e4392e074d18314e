#include "virtual_bench.h"

#include <cstdio>

#include "embedded_emulator.h"
#include "sample_image.h"
#include "temp_directory.h"
#include "work_dir.h"

namespace q7k::tool {

// In the order they must be torn down, last first.
struct VirtualBench::Parts {
  TempDirectory dir;
  std::unique_ptr<CurrentDirectory> inDir;
  std::unique_ptr<EmbeddedEmulator> emulator;
};

VirtualBench::VirtualBench() : parts_(std::make_unique<Parts>()) {}
VirtualBench::~VirtualBench() = default;

std::string VirtualBench::directory() const { return parts_->dir.path(); }

int VirtualBench::Start(Tool& tool) {
  Parts& p = *parts_;
  if (p.dir.path().empty()) {
    return tool.FailWith("cannot make a temporary directory");
  }
  p.inDir = std::make_unique<CurrentDirectory>(p.dir.path());
  if (!p.inDir->ok()) return tool.FailWith(p.inDir->error());
  if (tool.options().trace) p.dir.Keep();
  if (!WriteSampleFirmware("Q7I.X0", SampleImage())) {
    return tool.FailWith("cannot write the sample firmware image");
  }
  p.emulator = std::make_unique<EmbeddedEmulator>(/*flashEmpty=*/true);
  const std::string path = p.emulator->Start();
  if (path.empty()) {
    return tool.FailWith("cannot start the virtual instrument: " +
                         p.emulator->error());
  }
  tool.mutable_options().device = path;
  if (!tool.json()) {
    std::printf("Virtual instrument on %s, flash empty\n", path.c_str());
    std::printf("Sample firmware image %s/Q7I.X0\n", p.dir.path().c_str());
  }
  return kExitOk;
}

}  // namespace q7k::tool
