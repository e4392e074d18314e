// thermal: the instrument's temperatures and thermal state.
#include "records.h"
#include "tool.h"

namespace q7k::tool {

Q7K_COMMAND(thermal, 35) {
  auto* cmd = parent->add_subcommand(
      "thermal", "Read the temperatures, currents and thermal state");
  return {Runner(cmd, [](Tool& tool) {
    if (!tool.OpenPort()) return kExitFailed;
    Q7K_THERMAL_DATA thermal{};
    if (FAILED(tool.Component()->ReadThermalData(&thermal))) {
      return tool.Fail("ReadThermalData");
    }
    tool.Component()->ClosePort();
    if (tool.json()) {
      tool.PrintJson({{"thermal", ToJson(thermal)}});
    } else {
      PrintThermalTable(thermal, stdout);
    }
    return kExitOk;
  })};
}

}  // namespace q7k::tool
