// version: the component's version.
#include "tool.h"

namespace q7k::tool {

Q7K_COMMAND(version, 99) {
  auto* cmd = parent->add_subcommand("version", "Print the component version");
  return {Runner(cmd, [](Tool& tool) {
    IQ7kComm* comm = tool.Component();
    if (comm == nullptr) return kExitFailed;
    Bstr text;
    comm->get_Version(text.out());
    if (tool.json()) {
      tool.PrintJson({{"version", text.utf8()}});
    } else {
      std::printf("%s\n", text.utf8().c_str());
    }
    return kExitOk;
  })};
}

}  // namespace q7k::tool
