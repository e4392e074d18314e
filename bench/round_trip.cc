// Round trips of the power-on exchange against a peer thread that answers
// at once: the component, the raw-termios floor with the same input flush
// before each write, and pyserial with reset_input_buffer() (in a child
// process, against a peer thread of this process).
#include <sstream>

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

template <typename F>
Latency Time(int count, F roundTrip) {
  Latency result;
  for (int i = 0; i < count / 10; ++i) {  // warm up
    if (!roundTrip()) {
      result.error = "no reply";
      return result;
    }
  }
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(count));
  const ProcessSample before = SampleProcess();
  for (int i = 0; i < count; ++i) {
    const auto start = WallClock::now();
    if (!roundTrip()) {
      result.error = "no reply";
      return result;
    }
    samples.push_back(Micros(WallClock::now() - start));
  }
  const ProcessSample after = SampleProcess();
  result.cpuPerRt = (after.cpuMs - before.cpuMs) * 1e3 / count;
  result.p99 = Percentile(&samples, 0.99);
  result.median = Percentile(&samples, 0.5);
  return result;
}

Latency Raw(int count) {
  AnsweringPeer peer(PowerOnAckLine());
  RawClient client(peer.slavePath());
  if (!peer.ok() || !client.ok()) return {0, 0, 0, "no pseudo-terminal"};
  const Bytes request = PowerOnRequestLine();
  const size_t replySize = PowerOnAckLine().size();
  return Time(count, [&] { return client.RoundTrip(request, replySize); });
}

Latency Component(int count) {
  AnsweringPeer peer(PowerOnAckLine());
  ComponentSession session(kPort, peer.slavePath());
  if (!peer.ok() || !session.ok()) return {0, 0, 0, session.error()};
  IQ7kComm* comm = session.comm();
  if (FAILED(comm->StartPONSequence()) ||
      peer.LastRequest() != PowerOnRequestLine()) {
    return {0, 0, 0, "the component sent other bytes"};
  }
  return Time(count, [comm] { return SUCCEEDED(comm->StartPONSequence()); });
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
  const Latency raw = Raw(n);
  const Latency component = Component(n);
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
