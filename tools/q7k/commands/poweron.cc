// poweron: the instrument's power-on sequence.
#include "tool.h"

namespace q7k::tool {

Q7K_COMMAND(poweron, 40) {
  auto* cmd = parent->add_subcommand("poweron",
                                     "Run the instrument's power-on sequence");
  return {Runner(cmd, [](Tool& tool) {
    if (!tool.OpenPort()) return kExitFailed;
    if (FAILED(tool.Component()->StartPONSequence())) {
      return tool.Fail("StartPONSequence");
    }
    tool.Component()->ClosePort();
    if (tool.json()) {
      tool.PrintJson({{"poweron", "ok"}});
    } else {
      std::printf("power-on sequence ok\n");
    }
    return kExitOk;
  })};
}

}  // namespace q7k::tool
