// Many instruments on one host: 1, 4 and 16 component objects, each on its
// own thread and its own pseudo-terminal, polling the power-on exchange as
// fast as they can; unpaced against answering peer threads, and paced
// against virtual instruments at 112500 bit/s (one process each).
#include <algorithm>
#include <memory>
#include <thread>

#include "bench/answering_peer.h"
#include "bench/bench_frames.h"
#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/measure.h"
#include "bench/raw_client.h"

namespace q7k {
namespace bench {
namespace {

constexpr int32_t kFirstPort = 20;

struct Run {
  double medianUs = 0;       // median over every object's round trips
  double worstObjectUs = 0;  // the slowest object's median
  double cpuUsPerRt = 0;     // whole process
  double perSecond = 0;      // round trips of all objects
  bool ok = true;
};

// Polls every path from its own object and thread for span.
Run Poll(const std::vector<std::string>& paths,
         std::chrono::milliseconds span) {
  std::vector<std::unique_ptr<ComponentSession>> sessions;
  for (size_t i = 0; i < paths.size(); ++i) {
    sessions.push_back(std::make_unique<ComponentSession>(
        kFirstPort + static_cast<int32_t>(i), paths[i]));
  }
  std::vector<std::vector<double>> samples(paths.size());
  std::vector<int> failed(paths.size(), 0);
  const ProcessSample before = SampleProcess();
  const auto end = WallClock::now() + span;
  std::vector<std::thread> threads;
  for (size_t i = 0; i < paths.size(); ++i) {
    threads.emplace_back([&, i] {
      IQ7kComm* comm = sessions[i]->comm();
      if (!sessions[i]->ok()) {
        failed[i] = 1;
        return;
      }
      while (WallClock::now() < end) {
        const auto start = WallClock::now();
        if (FAILED(comm->StartPONSequence())) {
          failed[i] = 1;
          return;
        }
        samples[i].push_back(Micros(WallClock::now() - start));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  const ProcessSample after = SampleProcess();
  Run run;
  std::vector<double> all;
  for (size_t i = 0; i < paths.size(); ++i) {
    run.ok = run.ok && !failed[i];
    all.insert(all.end(), samples[i].begin(), samples[i].end());
    run.worstObjectUs =
        std::max(run.worstObjectUs, Percentile(&samples[i], 0.5));
  }
  const double seconds = Micros(after.wall - before.wall) / 1e6;
  run.perSecond = all.size() / seconds;
  run.cpuUsPerRt =
      all.empty() ? 0 : (after.cpuMs - before.cpuMs) * 1e3 / all.size();
  run.medianUs = Percentile(&all, 0.5);
  return run;
}

// The raw client's median round trip against path for span.
double RawPacedMedian(const std::string& path, std::chrono::milliseconds span) {
  RawClient client(path);
  const Bytes request = PowerOnRequestLine();
  const size_t replySize = PowerOnAckLine().size();
  std::vector<double> samples;
  const auto end = WallClock::now() + span;
  while (client.ok() && WallClock::now() < end) {
    const auto start = WallClock::now();
    if (!client.RoundTrip(request, replySize)) break;
    samples.push_back(Micros(WallClock::now() - start));
  }
  return Percentile(&samples, 0.5);
}

}  // namespace

void RunManyObjects(const BenchConfig& config, Report* report) {
  const auto span = std::chrono::milliseconds(config.quick ? 1000 : 3000);
  Run single;
  for (int k : {1, 4, 16}) {
    std::vector<std::unique_ptr<AnsweringPeer>> peers;
    std::vector<std::string> paths;
    for (int i = 0; i < k; ++i) {
      peers.push_back(std::make_unique<AnsweringPeer>(PowerOnAckLine()));
      paths.push_back(peers.back()->slavePath());
    }
    const Run run = Poll(paths, span);
    if (k == 1) single = run;
    const double x =
        single.cpuUsPerRt > 0 ? run.cpuUsPerRt / single.cpuUsPerRt : 0;
    report->Add(
        {Report::Format("%d object%s unpaced: round trip median, CPU per "
                        "round trip, total",
                        k, k > 1 ? "s" : ""),
         run.ok ? Report::Format("%.0f µs, %.1f µs CPU, %.0f/s", run.medianUs,
                                 run.cpuUsPerRt, run.perSecond)
                : "failed",
         k == 1 ? ""
                : Report::Format("%.1f µs CPU (1 object)", single.cpuUsPerRt),
         k == 1 ? "" : Report::Format("%.2f× CPU", x),
         k == 16 ? "CPU ≤ 1.2×" : "", k == 16 ? (run.ok && x <= 1.2) : -1});
  }
  Run pacedSingle;
  for (int k : {1, 16}) {
    std::vector<std::unique_ptr<ChildProcess>> instruments;
    std::vector<std::string> paths;
    for (int i = 0; i < k; ++i) {
      instruments.push_back(std::make_unique<ChildProcess>(
          std::vector<std::string>{config.emulator, "--baud", "112500"}));
      std::string path;
      instruments.back()->ReadLine(&path);
      paths.push_back(path);
    }
    const Run run = Poll(paths, span);
    if (k == 1) {
      pacedSingle = run;
      report->Add(
          {"Raw termios client against one paced instrument: median "
           "round trip (the pacing's own floor)",
           Report::Format("%.0f µs", RawPacedMedian(paths[0], span)),
           Report::Format("%.0f µs wire time", 25 * 10 * 1e6 / 112500), "", "",
           -1});
    }
    const double x = pacedSingle.worstObjectUs > 0
                         ? run.worstObjectUs / pacedSingle.worstObjectUs
                         : 0;
    report->Add(
        {Report::Format("%d object%s paced at 112500 bit/s: slowest object's "
                        "median round trip",
                        k, k > 1 ? "s" : ""),
         run.ok ? Report::Format("%.0f µs", run.worstObjectUs) : "failed",
         k == 1
             ? ""
             : Report::Format("%.0f µs (1 object)", pacedSingle.worstObjectUs),
         k == 1 ? "" : Report::Format("%.3f×", x), k == 16 ? "≤ 1.1×" : "",
         k == 16 ? (run.ok && x <= 1.1) : -1});
  }
}

}  // namespace bench
}  // namespace q7k
