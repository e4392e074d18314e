// errors: the error catalogue in the chosen language, for a technician who
// has a code and wants its text.
#include <memory>
#include <sstream>
#include <string>

#include "tool.h"

namespace q7k::tool {
namespace {

// "[code] text" lines into {code, text} objects.
nlohmann::json ParseList(const std::string& list) {
  nlohmann::json entries = nlohmann::json::array();
  std::istringstream lines(list);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t close = line.find("] ");
    if (line.empty() || line[0] != '[' || close == std::string::npos) continue;
    entries.push_back({{"code", std::stoi(line.substr(1, close - 1))},
                       {"text", line.substr(close + 2)}});
  }
  return entries;
}

}  // namespace

Q7K_COMMAND(errors, 90) {
  auto comm = std::make_shared<bool>(false);
  auto* cmd = parent->add_subcommand(
      "errors",
      "List the instrument's error codes and texts (or, with "
      "--comm, the link's) in the chosen language");
  cmd->add_flag("--comm,--link", *comm,
                "List the serial link's errors instead");
  return {Runner(cmd, [comm](Tool& tool) {
    IQ7kComm* c = tool.Component();
    if (c == nullptr) return kExitFailed;
    Bstr list;
    if (*comm) {
      // The list needs a link; a port that fails to open still has one, so
      // the texts come out without an instrument.
      tool.MapDevice();
      c->OpenPort(static_cast<Q7K_PORT>(tool.options().port),
                  tool.options().bps);
      c->ListCommErrors(list.out());
      c->ClosePort();
    } else {
      c->ListAppErrors(list.out());
    }
    if (tool.json()) {
      tool.PrintJson({{"errors", ParseList(list.utf8())}});
    } else {
      std::fputs(list.utf8().c_str(), stdout);
    }
    return kExitOk;
  })};
}

}  // namespace q7k::tool
