// loopback: checks the cable with a loopback plug (or an echoing device).
#include "tool.h"

namespace q7k::tool {

Q7K_COMMAND(loopback, 20) {
  auto* cmd = parent->add_subcommand(
      "loopback",
      "Check the cable: send a text and expect it back from a loopback plug "
      "or an echoing device");
  return {Runner(cmd, [](Tool& tool) {
    IQ7kComm* comm = tool.Component();
    if (comm == nullptr) return kExitFailed;
    tool.MapDevice();
    const GlobalOptions& g = tool.options();
    if (FAILED(comm->RunLoopbackTest(static_cast<Q7K_PORT>(g.port), g.bps))) {
      return tool.Fail("RunLoopbackTest");
    }
    if (tool.json()) {
      tool.PrintJson({{"loopback", "ok"}});
    } else {
      std::printf("loopback ok\n");
    }
    return kExitOk;
  })};
}

}  // namespace q7k::tool
