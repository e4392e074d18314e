#include "virtual_bench.h"

namespace q7k::tool {

struct VirtualBench::Parts {};

VirtualBench::VirtualBench() = default;
VirtualBench::~VirtualBench() = default;

std::string VirtualBench::directory() const { return {}; }

// No pseudo-terminal to serve on: the instrument runs as a program of its
// own at the far end of a serial line. Asking for it here is a usage error,
// never a session quietly run some other way.
int VirtualBench::Start(Tool& tool) {
  tool.FailWith(
      "demo --emulator is not available on Windows, which has no virtual "
      "instrument inside the tool: run q7k-emulator at the far end of a "
      "serial line and name its port, for example q7k setup --port 3, "
      "then q7k test run --port 3");
  return kExitUsage;
}

}  // namespace q7k::tool
