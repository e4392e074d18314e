// The benchmark command: runs every benchmark and prints one markdown table
// (bench/run.sh builds it in Release and runs it; docs/performance.md holds
// the latest table). Progress goes to standard error, the table to
// standard output.
//
//   q7k_bench --emulator PATH --q7k PATH --python PATH --py-client PATH
//             [--py-module DIR --py-q7k-client PATH --py-threads-client PATH]
//             [--quick] [--only GROUP]
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/outside_client.h"

namespace {

// The benchmarks run in scratch directories: programs are named by absolute
// paths.
std::string Absolute(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) != nullptr ? resolved : path;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("model name", 0) == 0)
      return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace q7k::bench;
  // A child that died shows as a failed write, not as the end of the run.
  std::signal(SIGPIPE, SIG_IGN);
  BenchConfig config;
  config.self = Absolute("/proc/self/exe");
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : "";
    if (arg == "--hold-port") return HoldOpenPort();
    if (arg == "--turn-client" && i + 1 < argc) return RunTurnClient(next);
    if (arg == "--threads-client" && i + 2 < argc) {
      return RunThreadsClient(
          std::atof(next), std::vector<std::string>(argv + i + 2, argv + argc));
    }
    if (arg == "--outside-client" && i + 2 < argc) {
      return RunOutsideClient(argv[i + 1], std::atoi(argv[i + 2]));
    }
    if (arg == "--quick") {
      config.quick = true;
      config.roundTrips = 1000;
      continue;
    }
    if (arg == "--emulator")
      config.emulator = Absolute(next);
    else if (arg == "--q7k")
      config.q7k = Absolute(next);
    else if (arg == "--python")
      config.python = next;
    else if (arg == "--py-client")
      config.pyClient = Absolute(next);
    else if (arg == "--py-module")
      config.pyModuleDir = Absolute(next);
    else if (arg == "--py-q7k-client")
      config.pyQ7kClient = Absolute(next);
    else if (arg == "--py-threads-client")
      config.pyThreadsClient = Absolute(next);
    else if (arg == "--only")
      only = next;
    else {
      std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
      return 2;
    }
    ++i;
  }
  Report report;
  const std::string loadBefore = LoadAverage();
  const struct {
    const char* name;
    void (*run)(const BenchConfig&, Report*);
  } groups[] = {{"round-trip", RunRoundTrips},
                {"wait-cpu", RunWaitCpu},
                {"many-objects", RunManyObjects},
                {"wire", RunWireThroughput},
                {"memory", RunMemory},
                {"two-threads", RunTwoThreads},
                {"recording", RunRecordingRoundTrips},
                {"network-round-trip", RunNetworkRoundTrips},
                {"network-wire", RunNetworkDownload}};
  if (!only.empty() &&
      std::none_of(std::begin(groups), std::end(groups),
                   [&only](const auto& g) { return only == g.name; })) {
    std::fprintf(stderr, "unknown group %s\n", only.c_str());
    return 2;
  }
  for (const auto& g : groups) {
    if (!only.empty() && only != g.name) continue;
    std::fprintf(stderr, "%s...\n", g.name);
    g.run(config, &report);
  }
  utsname host = {};
  uname(&host);
  std::printf(
      "Machine: %s, %ld CPUs, Linux %s. Load average before / after: "
      "%s / %s.\n\n",
      CpuModel().c_str(), sysconf(_SC_NPROCESSORS_ONLN), host.release,
      loadBefore.c_str(), LoadAverage().c_str());
  report.Print(stdout);
  return 0;
}
