#include "options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "board_store.h"
#include "tcp_listener.h"

namespace q7k {
namespace emu {
namespace {

CLI::Validator MaxLength(size_t n) {
  return CLI::Validator(
      [n](std::string& s) -> std::string {
        if (s.size() <= n) return std::string();
        return "at most " + std::to_string(n) + " characters";
      },
      "TEXT:" + std::to_string(n));
}

// A range check lets NaN through (every comparison with it is false).
CLI::Validator Finite() {
  return CLI::Validator(
      [](std::string& s) -> std::string {
        double v = 0;
        return CLI::detail::lexical_cast(s, v) && std::isfinite(v)
                   ? std::string()
                   : "a finite number is needed, not " + s;
      },
      "");
}

CLI::Validator FaultSpec() {
  return CLI::Validator(
      [](std::string& s) -> std::string {
        FaultRule rule;
        std::string error;
        return ParseFaultRule(s, &rule, &error) ? std::string() : error;
      },
      "FAULT");
}

// "SLOT,SUBSLOT[,XOR]".
bool ParseBoardFault(const std::string& s, BoardWriteFault* out) {
  std::vector<long> v;
  size_t start = 0;
  while (start <= s.size()) {
    size_t comma = s.find(',', start);
    std::string part = s.substr(start, comma - start);
    char* end = nullptr;
    long n = std::strtol(part.c_str(), &end, 0);
    if (part.empty() || *end != '\0') return false;
    v.push_back(n);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (v.size() < 2 || v.size() > 3 || v[0] < -32768 || v[0] > 32767 ||
      v[1] < -32768 || v[1] > 32767) {
    return false;
  }
  out->slot = static_cast<int16_t>(v[0]);
  out->subslot = static_cast<int16_t>(v[1]);
  if (v.size() == 3) {
    if (v[2] < 1 || v[2] > 0xFFFF) return false;
    out->xorMask = static_cast<uint16_t>(v[2]);
  }
  return true;
}

CLI::Validator ListenSpec() {
  return CLI::Validator(
      [](std::string& s) -> std::string {
        ListenAddress a;
        std::string error;
        return ParseListenUrl(s, &a, &error) ? std::string() : error;
      },
      "URL");
}

CLI::Validator BoardFaultSpec() {
  return CLI::Validator(
      [](std::string& s) -> std::string {
        BoardWriteFault f;
        if (!ParseBoardFault(s, &f)) return "expected SLOT,SUBSLOT[,XOR]";
        return BoardStore().Find(f.slot, f.subslot) != nullptr
                   ? std::string()
                   : "the instrument has no board at " + s;
      },
      "SLOT,SUBSLOT[,XOR]");
}

constexpr const char* kFooter =
    "Faults (--fault, repeatable): KIND[=ARGS][@WHEN]...\n"
    "  KIND: checksum number length acknak silence split[=CHUNK,MS]\n"
    "        noise[=COUNT] oversize[=BYTES] nak=NUMBER[,HEXBYTES] close\n"
    "  WHEN: once | every=N | cmd=CODE   (default: every reply)\n"
    "  e.g. --fault checksum@once --fault silence@cmd=0x7E06@every=3\n"
    "The path a host opens is printed on standard output, one line each\n"
    "time the line is opened; with --listen, the address it listens on,\n"
    "e.g. rfc2217://127.0.0.1:40321 (usable as Q7K_COM<n> as it is).\n"
    "A second network client is told it is in use and closed.\n"
    "SIGINT or SIGTERM stops the emulator.\n"
    "--replay answers as recorded; the exit code is 2 for a recording that\n"
    "cannot be read, 3 when --strict stopped at a divergent request, 1 when\n"
    "the line cannot be opened (at the start, or again after it was lost).";

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv,
                             std::ostream& out, std::ostream& err) {
  CommandLine cl;
  EmulatorOptions& o = cl.options;
  const FlashConfig defaults;
  std::string appName = TrimField(defaults.firmware.name);
  std::string appDate = TrimField(defaults.firmware.date);
  std::string appTime = TrimField(defaults.firmware.time);
  std::string appVersion = TrimField(defaults.firmware.version);
  std::string appDescription = TrimField(defaults.firmware.description);
  std::vector<std::string> faults;
  std::vector<std::string> badBoards;
  int rangingPolls = o.model.test.rangingPolls;
  int settlingPolls = o.model.test.settlingPolls;

  CLI::App app("A virtual Q7300 instrument on a serial line", "q7k-emulator");
  app.footer(kFooter);
  CLI::Option* device = app.add_option(
      "--device", o.line.device,
      "Serve this serial device instead of a new pseudo-terminal");
  CLI::Option* link =
      app.add_option("--link", o.line.linkPath,
                     "Keep a symlink to the pseudo-terminal at this path")
          ->excludes(device);
  app.add_option("--listen", o.line.listen,
                 "Serve one network client at a time instead of a line: "
                 "rfc2217://ADDR:PORT (Telnet com-port control) or "
                 "socket://ADDR:PORT (raw); [::1] for IPv6, port 0 picks one")
      ->check(ListenSpec())
      ->excludes(device)
      ->excludes(link);
  app.add_option("--baud", o.line.baud,
                 "Pace the line at N bit/s: at most N/10 bytes a second")
      ->check(CLI::Range(0u, 10000000u));
  app.add_option("--turnaround", o.line.turnaroundMs,
                 "Pause in milliseconds before each reply")
      ->check(CLI::Range(0u, 60000u));
  CLI::Option* loopback =
      app.add_flag("--loopback", o.line.loopback,
                   "Echo every byte back, like a loopback plug");
  std::string replayPath;
  CLI::Option* replay =
      app.add_option("--replay", replayPath,
                     "Answer each request as in this session recording")
          ->excludes(loopback);
  app.add_flag("--strict", o.replayStrict,
               "With --replay: stop at the first request that differs from "
               "the recording")
      ->needs(replay);
  app.add_option("--trace", o.line.tracePath,
                 "Append a hex trace of every exchange to FILE (- stderr)");
  app.add_option("--boards", o.boardDir,
                 "Keep the board EEPROMs in this directory across restarts");
  app.add_option("--app-name", appName, "Name of the running firmware")
      ->check(MaxLength(8))
      ->capture_default_str();
  app.add_option("--app-date", appDate, "Its build date")
      ->check(MaxLength(8))
      ->capture_default_str();
  app.add_option("--app-time", appTime, "Its build time")
      ->check(MaxLength(8))
      ->capture_default_str();
  app.add_option("--app-version", appVersion, "Its version")
      ->check(MaxLength(8))
      ->capture_default_str();
  app.add_option("--app-description", appDescription, "Its description")
      ->check(MaxLength(32))
      ->capture_default_str();
  app.add_flag("--boot-loader", o.model.flash.startInBootLoader,
               "Start in the boot loader (POSTLOAD)");
  bool emptyFlash = false;
  app.add_flag("--empty-flash", emptyFlash, "The flash directory starts empty");
  app.add_option("--flash-capacity", o.model.flash.capacity,
                 "Entries the flash directory holds")
      ->check(CLI::Range(0, 1000))
      ->capture_default_str();
  app.add_flag("--corrupt-flash", o.model.flash.corruptProgramming,
               "Programmed entries read back erased (searches miss them)");
  app.add_option("--page-size", o.model.flash.pageSize,
                 "Directory entries per page of command 15")
      ->check(CLI::Range(1, 4))
      ->capture_default_str();
  app.add_option("--watchdog", o.model.watchdogText,
                 "Answer the first command with a watchdog reset report");
  app.add_option("--capacitance", o.model.test.specimen.capacitance,
                 "Specimen capacitance in farads")
      ->check(Finite())
      ->capture_default_str();
  app.add_option("--inductance", o.model.test.specimen.inductance,
                 "Specimen inductance in henries (makes it inductive)")
      ->check(Finite())
      ->capture_default_str();
  app.add_option("--tan-delta", o.model.test.specimen.dissipation,
                 "Specimen dissipation factor")
      ->check(Finite() & CLI::Range(0.0, 100.0))
      ->capture_default_str();
  app.add_option("--line-frequency", o.model.test.lineFrequency,
                 "Mains frequency in hertz")
      ->check(Finite() & CLI::Range(1.0, 1000.0))
      ->capture_default_str();
  app.add_option("--ranging-polls", rangingPolls,
                 "Result polls that report ranging after a start")
      ->check(CLI::Range(0, 100000))
      ->capture_default_str();
  app.add_option("--settling-polls", settlingPolls,
                 "Result polls that then report voltage settling")
      ->check(CLI::Range(0, 100000))
      ->capture_default_str();
  app.add_option("--fault", faults, "Inject a fault (see below)")
      ->check(FaultSpec());
  app.add_option("--bad-board", badBoards,
                 "This board stores written words XOR XOR (default 1)")
      ->check(BoardFaultSpec());

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    cl.exit = true;
    cl.exitCode = app.exit(e, out, err);
    return cl;
  }

  if (!replayPath.empty()) {
    auto script = std::make_shared<ReplayScript>();
    std::string error;
    if (!LoadReplayScript(replayPath, script.get(), &error)) {
      err << "q7k-emulator: " << replayPath << ": " << error << "\n";
      cl.exit = true;
      cl.exitCode = kExitBadRecording;
      return cl;
    }
    o.replay = std::move(script);
  }
  o.model.flash.firmware =
      AppIdentity::Make(appName, appDate, appTime, appVersion, appDescription);
  o.model.flash.firmwareInFlash = !emptyFlash;
  o.model.test.rangingPolls = rangingPolls;
  o.model.test.settlingPolls = settlingPolls;
  for (const std::string& f : faults) {
    FaultRule rule;
    std::string error;
    ParseFaultRule(f, &rule, &error);
    o.faults.push_back(rule);
  }
  for (const std::string& b : badBoards) {
    BoardWriteFault f;
    ParseBoardFault(b, &f);
    o.boardFaults.push_back(f);
  }
  return cl;
}

}  // namespace emu
}  // namespace q7k
