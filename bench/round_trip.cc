// Round trips of the power-on exchange against a peer thread that answers
// at once: the component, the raw-termios floor with the same input flush
// before each write, and pyserial with reset_input_buffer() (in a child
// process, against a peer thread of this process).
#include <algorithm>
#include <functional>
#include <sstream>
#include <vector>

#include "bench/answering_peer.h"
#include "bench/bench_frames.h"
#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/measure.h"
#include "bench/raw_client.h"

namespace q7k {
namespace bench {
namespace {

constexpr int32_t kPort = 9;

struct Latency {
  double median = 0;
  double p99 = 0;
  double cpuPerRt = 0;  // process CPU µs per round trip
  std::string error;
};

using RoundTrip = std::function<bool()>;

// Times the clients in turns of a tenth of count each, so that the slow
// drifts of an idle virtual machine (how deeply its vCPUs sleep) fall on
// all of them alike rather than on whichever ran first.
std::vector<Latency> TimeInTurns(int count, const std::vector<RoundTrip>& rts) {
  std::vector<Latency> results(rts.size());
  std::vector<std::vector<double>> samples(rts.size());
  std::vector<double> cpuMs(rts.size(), 0.0);
  const int turn = std::max(1, count / 10);
  for (size_t c = 0; c < rts.size(); ++c) {
    for (int i = 0; i < turn; ++i) {  // warm up
      if (!rts[c]()) {
        results[c].error = "no reply";
        return results;
      }
    }
  }
  for (int done = 0; done < count; done += turn) {
    for (size_t c = 0; c < rts.size(); ++c) {
      const ProcessSample before = SampleProcess();
      for (int i = 0; i < turn; ++i) {
        const auto start = WallClock::now();
        if (!rts[c]()) {
          results[c].error = "no reply";
          return results;
        }
        samples[c].push_back(Micros(WallClock::now() - start));
      }
      cpuMs[c] += SampleProcess().cpuMs - before.cpuMs;
    }
  }
  for (size_t c = 0; c < rts.size(); ++c) {
    results[c].cpuPerRt = cpuMs[c] * 1e3 / samples[c].size();
    results[c].p99 = Percentile(&samples[c], 0.99);
    results[c].median = Percentile(&samples[c], 0.5);
  }
  return results;
}

// The raw floor and the component, each against its own answering peer.
std::vector<Latency> RawAndComponent(int count) {
  AnsweringPeer rawPeer(PowerOnAckLine());
  RawClient client(rawPeer.slavePath());
  if (!rawPeer.ok() || !client.ok()) {
    return {{0, 0, 0, "no pseudo-terminal"}, {0, 0, 0, "no pseudo-terminal"}};
  }
  AnsweringPeer peer(PowerOnAckLine());
  ComponentSession session(kPort, peer.slavePath());
  if (!peer.ok() || !session.ok()) {
    return {{0, 0, 0, session.error()}, {0, 0, 0, session.error()}};
  }
  IQ7kComm* comm = session.comm();
  if (FAILED(comm->StartPONSequence()) ||
      peer.LastRequest() != PowerOnRequestLine()) {
    const Latency wrong{0, 0, 0, "the component sent other bytes"};
    return {wrong, wrong};
  }
  const Bytes request = PowerOnRequestLine();
  const size_t replySize = PowerOnAckLine().size();
  return TimeInTurns(
      count, {[&] { return client.RoundTrip(request, replySize); },
              [comm] { return SUCCEEDED(comm->StartPONSequence()); }});
}

Latency PySerial(const BenchConfig& config, int count) {
  AnsweringPeer peer(PowerOnAckLine());
  if (!peer.ok()) return {0, 0, 0, peer.error()};
  ChildProcess client({config.python, config.pyClient, peer.slavePath(),
                       std::to_string(count)});
  std::string line;
  Latency result;
  if (!client.ok() || !client.ReadLine(&line)) {
    result.error = "pyserial client failed (is python3-serial installed?)";
    return result;
  }
  std::istringstream(line) >> result.median >> result.p99;
  client.Wait();
  return result;
}

std::string Us(const Latency& l) {
  return l.error.empty()
             ? Report::Format("%.1f µs (p99 %.0f µs)", l.median, l.p99)
             : l.error;
}

}  // namespace

void RunRoundTrips(const BenchConfig& config, Report* report) {
  const int n = config.roundTrips;
  const std::vector<Latency> timed = RawAndComponent(n);
  const Latency& raw = timed[0];
  const Latency& component = timed[1];
  const Latency py = PySerial(config, n);
  report->Add({"Round trip, raw termios with flush (the floor)", Us(raw), "",
               "", "", -1});
  report->Add(
      {"Round trip, pyserial with reset_input_buffer", Us(py), "", "", "", -1});
  const double xRaw = raw.median > 0 ? component.median / raw.median : 0;
  const double xPy = py.median > 0 ? component.median / py.median : 0;
  report->Add({"Round trip, q7kcomm StartPONSequence, vs the floor",
               Us(component), Report::Format("%.1f µs", raw.median),
               Report::Format("%.2f×", xRaw), "≤ 1.5×", xRaw <= 1.5});
  report->Add({"Round trip, q7kcomm StartPONSequence, vs pyserial",
               Us(component), Report::Format("%.1f µs", py.median),
               Report::Format("%.2f×", xPy), "≤ 0.6×", xPy <= 0.6});
  report->Add(
      {"CPU per round trip (whole process, peer included): raw / "
       "q7kcomm",
       Report::Format("%.1f / %.1f µs", raw.cpuPerRt, component.cpuPerRt), "",
       "", "", -1});
}

}  // namespace bench
}  // namespace q7k
