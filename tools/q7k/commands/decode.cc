// decode: a recorded session as the commands that crossed the line, for a
// technician reading a field recording without a packet tool.
#include <cstdio>
#include <memory>
#include <string>

#include "session_decoder.h"
#include "tool.h"

namespace q7k::tool {
namespace {

nlohmann::json ToJson(const DecodedEvent& e) {
  static const char* const kDirections[] = {"->", "<-", "--", "!!"};
  nlohmann::json fields = nlohmann::json::object();
  std::string verdict;
  for (const auto& [name, value] : e.fields) {
    if (name.empty()) {
      verdict = value;
    } else {
      fields[name] = value;
    }
  }
  nlohmann::json j = {{"time_ms", static_cast<double>(e.timeUs) / 1000.0},
                      {"direction", kDirections[static_cast<int>(e.kind)]},
                      {"name", e.name},
                      {"fields", fields}};
  if (!verdict.empty()) j["verdict"] = verdict;
  return j;
}

}  // namespace

Q7K_COMMAND(decode, 95) {
  auto path = std::make_shared<std::string>();
  auto* cmd = parent->add_subcommand(
      "decode",
      "Print a session recording as commands, replies, errors and port "
      "events, with the component's texts in the chosen language");
  cmd->add_option("file", *path, "The recording (pcapng) to read")
      ->required()
      ->type_name("FILE");
  return {Runner(cmd, [path](Tool& tool) {
    DecodedSession session;
    std::string error;
    bool decoded = DecodeSessionFile(
        *path, static_cast<int>(tool.options().language), &session, &error);
    // The reader takes a file cut short before its first event (in its
    // header, or a disk that filled up right after it) as empty.
    if (decoded && session.events.empty()) {
      decoded = false;
      error = "holds no recording";
    }
    if (!decoded) {
      // The reader names the file in some of its reasons.
      if (error.find(*path) == std::string::npos) error = *path + ": " + error;
      std::fprintf(stderr, "q7k: %s\n", error.c_str());
      return kExitUsage;
    }
    if (tool.json()) {
      nlohmann::json events = nlohmann::json::array();
      for (const DecodedEvent& e : session.events) events.push_back(ToJson(e));
      tool.PrintJson({{"application", session.application},
                      {"port", session.portName},
                      {"events", events}});
      return kExitOk;
    }
    for (const DecodedEvent& e : session.events) {
      std::puts(FormatDecodedEvent(e).c_str());
    }
    return kExitOk;
  })};
}

}  // namespace q7k::tool
