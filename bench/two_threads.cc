// Two instruments on two threads against one instrument on one: the
// component's C++ client and the q7kcomm Python module (bench/
// python_threads.py), each a child process polling ReadAppInfo from one
// thread per line, on two virtual instruments. Once with the lines paced
// at 112500 bit/s, the rate q7kcomm.open and the q7k tool open a port at
// (BPS_115200), where a client mostly waits for the wire as it would for a
// real instrument; once unpaced, where the two instruments and the two
// client threads compete for the CPUs and the figure is the machine's.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/measure.h"

namespace q7k {
namespace bench {
namespace {

constexpr int32_t kFirstPort = 30;
constexpr const char* kPacedBaud = "112500";

// One client's runs: round trips per second with one line, with two.
struct Scaling {
  std::vector<double> one;
  std::vector<double> two;
  std::vector<double> ratio;  // two / one, per round
  std::string error;
};

double Median(std::vector<double> v) { return Percentile(&v, 0.5); }

// Runs one client child to its end; its one line is the rate or why not.
bool RunClient(const std::vector<std::string>& argv, double* rate,
               std::string* error) {
  ChildProcess child(argv);
  std::string line;
  if (!child.ok() || !child.ReadLine(&line)) line = "client did not start";
  const int status = child.Wait();
  char* end = nullptr;
  *rate = std::strtod(line.c_str(), &end);
  if (status == 0 && end != line.c_str() && *rate > 0) return true;
  *error = line;
  return false;
}

std::vector<std::string> ClientArgv(const BenchConfig& config, bool python,
                                    const std::string& seconds,
                                    const std::vector<std::string>& paths) {
  std::vector<std::string> argv =
      python
          ? std::vector<std::string>{"/usr/bin/env",
                                     "PYTHONPATH=" + config.pyModuleDir,
                                     config.python, config.pyThreadsClient,
                                     seconds}
          : std::vector<std::string>{config.self, "--threads-client", seconds};
  argv.insert(argv.end(), paths.begin(), paths.end());
  return argv;
}

// Rounds of C++ and Python, each one line then two; the order of the
// clients and of one and two alternates from round to round.
void Measure(const BenchConfig& config, const std::vector<std::string>& paths,
             Scaling results[2]) {
  const bool built =
      !config.pyModuleDir.empty() &&
      access((config.pyModuleDir + "/q7kcomm/__init__.py").c_str(), R_OK) == 0;
  if (!built) results[1].error = "q7kcomm Python module not built";
  const std::string seconds = config.quick ? "1" : "3";
  const int rounds = config.quick ? 1 : 4;
  const std::vector<std::string> first(paths.begin(), paths.begin() + 1);
  for (int round = 0; round < rounds; ++round) {
    for (int k = 0; k < 2; ++k) {
      const int c = round % 2 == 0 ? k : 1 - k;
      Scaling& s = results[c];
      if (!s.error.empty()) continue;
      double rate[2] = {0, 0};
      for (int n = 0; n < 2; ++n) {
        const int lines = (round / 2 + n) % 2;
        if (!RunClient(
                ClientArgv(config, c == 1, seconds, lines == 0 ? first : paths),
                &rate[lines], &s.error))
          break;
      }
      if (!s.error.empty()) continue;
      s.one.push_back(rate[0]);
      s.two.push_back(rate[1]);
      s.ratio.push_back(rate[1] / rate[0]);
    }
  }
}

void AddRows(const char* line, bool paced, const Scaling results[2],
             Report* report) {
  static const char* const kClients[] = {"C++ client", "Python client"};
  for (int c = 0; c < 2; ++c) {
    const Scaling& s = results[c];
    const bool ok = s.error.empty() && !s.ratio.empty();
    const double ratio = ok ? Median(s.ratio) : 0;
    const bool hasTarget = paced && c == 1;
    report->Add(
        {Report::Format("Two lines on two threads against one, %s, %s "
                        "(ReadAppInfo, %zu round%s): one line, two lines",
                        line, kClients[c], s.ratio.size(),
                        s.ratio.size() == 1 ? "" : "s"),
         ok ? Report::Format("%.0f/s, %.0f/s", Median(s.one), Median(s.two))
            : s.error,
         c == 1 && ok && !results[0].ratio.empty()
             ? Report::Format("C++ %.2f×", Median(results[0].ratio))
             : "",
         ok ? Report::Format("%.2f× (%.2f to %.2f)", ratio,
                             *std::min_element(s.ratio.begin(), s.ratio.end()),
                             *std::max_element(s.ratio.begin(), s.ratio.end()))
            : "",
         hasTarget ? "≥ 1.8×" : "", hasTarget ? (ok && ratio >= 1.8) : -1});
  }
}

}  // namespace

void RunTwoThreads(const BenchConfig& config, Report* report) {
  const struct {
    const char* line;
    std::vector<std::string> extra;
  } modes[] = {{"paced at 112500 bit/s", {"--baud", kPacedBaud}},
               {"unpaced (the machine's limit)", {}}};
  for (const auto& mode : modes) {
    std::vector<std::unique_ptr<ChildProcess>> instruments;
    std::vector<std::string> paths;
    for (int i = 0; i < 2; ++i) {
      std::vector<std::string> argv{config.emulator};
      argv.insert(argv.end(), mode.extra.begin(), mode.extra.end());
      instruments.push_back(std::make_unique<ChildProcess>(argv));
      std::string path;
      instruments.back()->ReadLine(&path);
      paths.push_back(path);
    }
    Scaling results[2];
    Measure(config, paths, results);
    AddRows(mode.line, !mode.extra.empty(), results, report);
  }
}

int RunThreadsClient(double seconds, const std::vector<std::string>& paths) {
  std::vector<std::unique_ptr<ComponentSession>> sessions;
  for (size_t i = 0; i < paths.size(); ++i) {
    sessions.push_back(std::make_unique<ComponentSession>(
        kFirstPort + static_cast<int32_t>(i), paths[i]));
    if (!sessions.back()->ok() ||
        FAILED(sessions.back()->comm()->ReadAppInfo())) {
      std::printf("C++ client failed (%s)\n", sessions.back()->error().c_str());
      return 1;
    }
  }
  std::vector<long> counts(paths.size(), 0);
  std::vector<int> failed(paths.size(), 0);
  const auto start = WallClock::now();
  const auto end = start + std::chrono::duration_cast<WallClock::duration>(
                               std::chrono::duration<double>(seconds));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < paths.size(); ++i) {
    threads.emplace_back([&, i] {
      IQ7kComm* comm = sessions[i]->comm();
      while (WallClock::now() < end) {
        if (FAILED(comm->ReadAppInfo())) {
          failed[i] = 1;
          return;
        }
        ++counts[i];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  const double elapsed = Micros(WallClock::now() - start) / 1e6;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (failed[i]) {
      std::printf("C++ client failed (%s)\n",
                  sessions[i]->LastMessage().c_str());
      return 1;
    }
  }
  long total = 0;
  for (long n : counts) total += n;
  std::printf("%.1f\n", total / elapsed);
  return 0;
}

}  // namespace bench
}  // namespace q7k
