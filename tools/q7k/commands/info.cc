// info: what is there: the component's version, the application the
// instrument runs and the applications in its flash.
#include "records.h"
#include "tool.h"

namespace q7k::tool {

Q7K_COMMAND(info, 25) {
  auto* cmd = parent->add_subcommand(
      "info",
      "Show the component version, the application the instrument runs "
      "and its flash directory");
  return {Runner(cmd, [](Tool& tool) {
    if (!tool.OpenPort()) return kExitFailed;
    IQ7kComm* comm = tool.Component();
    Bstr version;
    comm->get_Version(version.out());
    if (FAILED(comm->ReadAppInfo())) return tool.Fail("ReadAppInfo");
    const AppIdentity app = ReadAppIdentity(comm);
    if (FAILED(comm->ReadFlashDirectory())) {
      return tool.Fail("ReadFlashDirectory");
    }
    const std::vector<AppIdentity> flash = FlashEntries(comm);
    comm->ClosePort();
    if (tool.json()) {
      tool.PrintJson({{"component", version.utf8()},
                      {"application", ToJson(app)},
                      {"flash", ToJson(flash)}});
      return kExitOk;
    }
    std::printf("Component version    %s\n", version.utf8().c_str());
    std::printf("Application          %s\n", app.name.c_str());
    std::printf("  version            %s\n", app.version.c_str());
    std::printf("  built              %s %s\n", app.date.c_str(),
                app.time.c_str());
    std::printf("  description        %s\n", app.description.c_str());
    std::printf("Flash directory\n");
    PrintFlashTable(flash, stdout);
    return kExitOk;
  })};
}

}  // namespace q7k::tool
