// q7k: the command-line tool for technicians and integrators. Built on the
// public API only; each command lives in commands/ and registers itself.
#include <q7kcomm/q7kcomm.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "console_text.h"
#include "platform_texts.h"
#include "tool.h"
#include "work_dir.h"

namespace q7k::tool {
namespace {

void AddGlobalOptions(CLI::App& app, GlobalOptions* g) {
  app.add_option("-p,--port", g->port, kPortHelp)
      ->check(CLI::Range(1, 999))
      ->capture_default_str();
  // An empty path (an unset variable in a script) would quietly leave the
  // port on its usual device, with another instrument behind it.
  app.add_option("-d,--device", g->device,
                 "Serial device that the port opens for this run")
      ->check(CLI::Validator(
          [](std::string& path) {
            return path.empty() ? "an empty path names no device"
                                : std::string();
          },
          ""))
      ->type_name("PATH");
  const Choices<Q7K_BPS> rates = {
      {"9600", BPS_9600},     {"14400", BPS_14400},  {"19200", BPS_19200},
      {"38400", BPS_38400},   {"57600", BPS_57600},  {"115200", BPS_115200},
      {"112500", BPS_115200}, {"128000", BPS_128000}};
  app.add_option("-b,--bps", g->bps,
                 "Line speed: 9600, 14400, 19200, 38400, 57600, 115200 "
                 "(runs at 112500) or 128000 [115200]")
      ->transform(Choice(rates))
      ->type_name("RATE");
  const Choices<SIMUL_MODE> modes = {{"none", SIMUL_NONE}, {"exc", SIMUL_EXC},
                                     {"clip", SIMUL_CLIP}, {"xref", SIMUL_XREF},
                                     {"leak", SIMUL_LEAK}, {"bht", SIMUL_BHT},
                                     {"cal", SIMUL_CAL}};
  app.add_option("-s,--simulate", g->simulate,
                 "Let the component play the instrument: none, exc, clip, "
                 "xref, leak, bht or cal [none]")
      ->transform(Choice(modes))
      ->type_name("MODE");
  app.add_flag("--fast", g->fast, "With --simulate: no waits and no noise");
  const Choices<Q7K_LANGUAGE> languages = {{"en", LANGUAGE_ENGLISH},
                                           {"es", LANGUAGE_SPANISH},
                                           {"pt", LANGUAGE_PORTUGUESE},
                                           {"fr", LANGUAGE_FRENCH}};
  app.add_option("-l,--lang,--language", g->language,
                 "Language of the component's texts: en, es, pt or fr [en]")
      ->transform(Choice(languages))
      ->type_name("LANG");
  app.add_flag("-t,--trace", g->trace,
               "Append every exchange to Q7kComm.log in the current directory");
  app.add_option("--record", g->record,
                 "Record the session on the line to this pcapng file")
      ->type_name("FILE");
  app.add_flag("--json", g->json,
               "Print the result as one JSON document on standard output");
}

}  // namespace
}  // namespace q7k::tool

int main(int argc, char** argv) {
  using namespace q7k::tool;
  const ConsoleText console;
  CLI::App app{"q7k: check, run and inspect a Q7300 insulation test set",
               "q7k"};
  // Global options may follow the command: `q7k test run --port 3`.
  app.fallthrough();
  app.require_subcommand(1);
  GlobalOptions globals;
  AddGlobalOptions(app, &globals);

  std::vector<CommandEntry> commands = CommandRegistry();
  std::stable_sort(commands.begin(), commands.end(),
                   [](const CommandEntry& a, const CommandEntry& b) {
                     return a.order < b.order;
                   });
  std::vector<Runner> runners;
  for (const CommandEntry& c : commands) {
    for (Runner& r : c.add(&app)) runners.push_back(std::move(r));
  }

  // Set after the commands were added, so that their help does not repeat it.
  app.footer(
      "Options given before or after the command apply to the whole run.\n"
      "Exit status: 0 success, 1 the component or the instrument reported an\n"
      "error (its code and text are printed), 2 the command line was wrong,\n"
      "130 interrupted (Ctrl-C stops a running test first).\n"
      "Environment: Q7K_COM<n> names the device of port n; Q7K_RECORD a\n"
      "file to record the session in.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (app.get_subcommands().empty() && !app.remaining().empty()) {
      std::fprintf(stderr, "q7k: unknown command '%s'; see q7k --help\n",
                   app.remaining().front().c_str());
      return kExitUsage;
    }
    const int status = app.exit(e);
    return status == 0 ? kExitOk : kExitUsage;
  }

  // Commands may run in another directory (a firmware file's, the virtual
  // bench's), where a recording named relative to the caller's would land.
  if (globals.record.empty()) {
    const char* variable = std::getenv("Q7K_RECORD");
    if (variable != nullptr) globals.record = variable;
  }
  globals.record = AbsolutePath(globals.record);
  // The component only notes in its trace log that it cannot record, and a
  // mistyped directory would cost the technician the session's recording.
  if (!globals.record.empty() && !IsDirectory(SplitPath(globals.record).dir)) {
    std::fprintf(stderr, "q7k: cannot record to %s: no such directory\n",
                 globals.record.c_str());
    return kExitUsage;
  }
  // The same holds for the port's device, whether given or from Q7K_COM<n>.
  if (!globals.device.empty()) {
    globals.device = AbsoluteDevicePath(globals.device);
  } else {
    const std::string named = q7k::ResolveSerialPortPath(globals.port);
    const std::string device = AbsoluteDevicePath(named);
    if (device != named) q7k::SetSerialPortPath(globals.port, device);
  }

  const CLI::App* chosen = &app;
  while (!chosen->get_subcommands().empty()) {
    chosen = chosen->get_subcommands().front();
  }
  for (const Runner& r : runners) {
    if (r.app != chosen) continue;
    Tool tool(globals);
    try {
      return r.run(tool);
    } catch (const std::exception& e) {
      return tool.FailWith(e.what());
    }
  }
  std::fprintf(stderr, "q7k: %s needs a command; see --help\n",
               chosen->get_name().c_str());
  return kExitUsage;
}
