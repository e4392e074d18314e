// Round trips of the power-on exchange against a peer thread that answers
// at once, in two shapes. The benchmark's own: the component, the
// raw-termios floor with the same input flush before each write, and
// pyserial with reset_input_buffer() (in a child process, against a peer
// thread of this process), after a warm-up, in alternating turns. The
// outside one (bench/outside_client.h): a fresh process per client and
// round, a peer that blocks in read(), no warm-up. Each counts the thread
// wake-ups an exchange costs. The component from Python (the q7kcomm
// module) and from C++: each a client in a child process against a peer
// thread of this process, as pyserial's, in alternating turns, in rounds of
// fresh processes (where a process's threads settle decides its round trip
// more than anything it does on a busy machine).
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "bench/answering_peer.h"
#include "bench/bench_frames.h"
#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/measure.h"
#include "bench/raw_client.h"
#include "bench/tcp_client.h"
#include "support/device_server.h"

namespace q7k {
namespace bench {
namespace {

constexpr int32_t kPort = 9;

struct Latency {
  double median = 0;
  double p99 = 0;
  double cpuPerRt = 0;  // process CPU µs per round trip
  WakeUps wakeUps;      // per round trip
  std::string error;
};

struct Client {
  std::function<bool()> roundTrip;
  pid_t peer = 0;  // its peer's thread
};

Latency Failed(const std::string& why) {
  Latency l;
  l.error = why;
  return l;
}

void Summarize(std::vector<double>* samples, Latency* l) {
  l->p99 = Percentile(samples, 0.99);
  l->median = Percentile(samples, 0.5);
}

// Times the clients in turns of a tenth of count each, so that the slow
// drifts of an idle virtual machine (how deeply its vCPUs sleep) fall on
// all of them alike rather than on whichever ran first.
std::vector<Latency> TimeInTurns(int count,
                                 const std::vector<Client>& clients) {
  std::vector<Latency> results(clients.size());
  std::vector<std::vector<double>> samples(clients.size());
  std::vector<double> cpuMs(clients.size(), 0.0);
  std::vector<pid_t> peers;
  for (const Client& c : clients) peers.push_back(c.peer);
  const int turn = std::max(1, count / 10);
  for (size_t c = 0; c < clients.size(); ++c) {
    for (int i = 0; i < turn; ++i) {  // warm up
      if (!clients[c].roundTrip())
        return std::vector<Latency>(clients.size(), Failed("no reply"));
    }
  }
  for (int done = 0; done < count; done += turn) {
    for (size_t c = 0; c < clients.size(); ++c) {
      std::vector<pid_t> otherPeers = peers;
      otherPeers.erase(otherPeers.begin() + c);
      const ThreadSwitches switches = SampleThreadSwitches();
      const ProcessSample before = SampleProcess();
      for (int i = 0; i < turn; ++i) {
        const auto start = WallClock::now();
        if (!clients[c].roundTrip()) {
          return std::vector<Latency>(clients.size(), Failed("no reply"));
        }
        samples[c].push_back(Micros(WallClock::now() - start));
      }
      cpuMs[c] += SampleProcess().cpuMs - before.cpuMs;
      AddWakeUps(switches, SampleThreadSwitches(), gettid(), clients[c].peer,
                 otherPeers, count, &results[c].wakeUps);
    }
  }
  for (size_t c = 0; c < clients.size(); ++c) {
    results[c].cpuPerRt = cpuMs[c] * 1e3 / samples[c].size();
    Summarize(&samples[c], &results[c]);
  }
  return results;
}

// The power-on exchange, the raw client's against the component's, in turns.
std::vector<Latency> FloorAndComponent(int count, RawClient& client,
                                       const AnsweringPeer& rawPeer,
                                       IQ7kComm* comm,
                                       const AnsweringPeer& peer) {
  const Bytes request = PowerOnRequestLine();
  const size_t replySize = PowerOnAckLine().size();
  return TimeInTurns(count,
                     {{[&] { return client.RoundTrip(request, replySize); },
                       rawPeer.threadId()},
                      {[comm] { return SUCCEEDED(comm->StartPONSequence()); },
                       peer.threadId()}});
}

// The raw floor and the component, each against its own answering peer.
std::vector<Latency> RawAndComponent(int count) {
  AnsweringPeer rawPeer(PowerOnAckLine());
  RawClient client(rawPeer.slavePath());
  if (!rawPeer.ok() || !client.ok()) {
    return std::vector<Latency>(2, Failed("no pseudo-terminal"));
  }
  AnsweringPeer peer(PowerOnAckLine());
  ComponentSession session(kPort, peer.slavePath());
  if (!peer.ok() || !session.ok())
    return std::vector<Latency>(2, Failed(session.error()));
  IQ7kComm* comm = session.comm();
  if (FAILED(comm->StartPONSequence()) ||
      peer.LastRequest() != PowerOnRequestLine()) {
    return std::vector<Latency>(2, Failed("the component sent other bytes"));
  }
  return FloorAndComponent(count, client, rawPeer, comm, peer);
}

// A client in a child process that takes turns (bench/q7kcomm_client.py,
// q7k_bench --turn-client), ok() once its first exchange went through.
class TurnClient {
 public:
  explicit TurnClient(const std::vector<std::string>& argv)
      : child_(argv, true) {
    std::string line;
    if (!child_.ok() || !child_.ReadLine(&line)) line = "client failed";
    if (line != "ready") error_ = line;
  }
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool Turn(int n, std::vector<double>* samples) {
    std::string line;
    if (!child_.WriteLine(std::to_string(n)) || !child_.ReadLine(&line))
      return false;
    std::istringstream in(line);
    int got = 0;
    for (double t; in >> t; ++got) samples->push_back(t);
    return got == n;
  }

 private:
  ChildProcess child_;
  std::string error_;
};

// The component's C++ client and the same from Python through the q7kcomm
// module, in rounds of two fresh child processes, each against a peer
// thread of this one; the order alternates from turn to turn and round to
// round. The Python one fails alone when the module is not there.
std::vector<Latency> CppAndPython(const BenchConfig& config, int count,
                                  int rounds) {
  const bool built =
      !config.pyModuleDir.empty() &&
      access((config.pyModuleDir + "/q7kcomm/__init__.py").c_str(), R_OK) == 0;
  std::vector<std::vector<double>> samples(2);
  std::string pythonError = built ? "" : "q7kcomm Python module not built";
  const int turn = std::max(1, count / rounds / 10);
  for (int round = 0; round < rounds; ++round) {
    AnsweringPeer peer(PowerOnAckLine());
    AnsweringPeer pyPeer(PowerOnAckLine());
    if (!peer.ok() || !pyPeer.ok())
      return std::vector<Latency>(2, Failed("no pseudo-terminal"));
    TurnClient cpp({config.self, "--turn-client", peer.slavePath()});
    if (!cpp.ok()) return std::vector<Latency>(2, Failed(cpp.error()));
    std::unique_ptr<TurnClient> python;
    if (pythonError.empty()) {
      python = std::make_unique<TurnClient>(std::vector<std::string>{
          "/usr/bin/env", "PYTHONPATH=" + config.pyModuleDir, config.python,
          config.pyQ7kClient, pyPeer.slavePath()});
      if (!python->ok()) pythonError = python->error();
    }
    TurnClient* clients[] = {&cpp,
                             pythonError.empty() ? python.get() : nullptr};
    std::vector<double> warmUp;
    for (TurnClient* c : clients) {
      if (c != nullptr && !c->Turn(turn, &warmUp))
        return std::vector<Latency>(2, Failed("no reply"));
    }
    for (int t = 0; t < 10; ++t) {
      for (int k = 0; k < 2; ++k) {
        const int c = (round + t) % 2 == 0 ? k : 1 - k;
        if (clients[c] != nullptr && !clients[c]->Turn(turn, &samples[c]))
          return std::vector<Latency>(2, Failed("no reply"));
      }
    }
  }
  std::vector<Latency> results(2);
  for (int c = 0; c < 2; ++c) Summarize(&samples[c], &results[c]);
  if (!pythonError.empty()) results[1] = Failed(pythonError);
  return results;
}

// The outside shape: rounds of one child process per client, the order
// alternating from round to round.
std::vector<Latency> OutsideShape(const BenchConfig& config, int count,
                                  int rounds) {
  const char* kinds[] = {"raw", "q7kcomm"};
  std::vector<Latency> results(2);
  std::vector<std::vector<double>> samples(2);
  for (int round = 0; round < rounds; ++round) {
    for (int k = 0; k < 2; ++k) {
      const int c = round % 2 == 0 ? k : 1 - k;
      ChildProcess child(
          {config.self, "--outside-client", kinds[c], std::to_string(count)});
      std::string counts, times, word;
      if (!child.ReadLine(&counts) || !child.ReadLine(&times)) {
        return std::vector<Latency>(
            2, Failed(std::string(kinds[c]) + " client failed"));
      }
      child.Wait();
      WakeUps w;
      double cpu = 0;
      std::istringstream(counts) >> word >> w.client >> w.peer >> w.others >>
          w.involuntary >> cpu;
      WakeUps& sum = results[c].wakeUps;
      sum.client += w.client / rounds;
      sum.peer += w.peer / rounds;
      sum.others += w.others / rounds;
      sum.involuntary += w.involuntary / rounds;
      results[c].cpuPerRt += cpu / rounds;
      std::istringstream in(times);
      for (double t; in >> t;) samples[c].push_back(t);
    }
  }
  for (int c = 0; c < 2; ++c) Summarize(&samples[c], &results[c]);
  return results;
}

Latency PySerial(const BenchConfig& config, int count) {
  AnsweringPeer peer(PowerOnAckLine());
  if (!peer.ok()) return Failed(peer.error());
  ChildProcess client({config.python, config.pyClient, peer.slavePath(),
                       std::to_string(count)});
  std::string line;
  Latency result;
  if (!client.ok() || !client.ReadLine(&line)) {
    return Failed("pyserial client failed (is python3-serial installed?)");
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

// The two clients of one shape: the floor, q7kcomm against it, and who
// was woken how often per exchange.
void AddShape(const char* shape, const Latency& raw, const Latency& component,
              Report* report) {
  const double x = raw.median > 0 ? component.median / raw.median : 0;
  report->Add({Report::Format("Round trip, %s: raw termios with flush (the "
                              "floor)",
                              shape),
               Us(raw), "", "", "", -1});
  report->Add(
      {Report::Format("Round trip, %s: q7kcomm StartPONSequence", shape),
       Us(component), Report::Format("%.1f µs", raw.median),
       Report::Format("%.2f×", x), "≤ 1.1×",
       component.error.empty() && x > 0 && x <= 1.1});
  const WakeUps& r = raw.wakeUps;
  const WakeUps& q = component.wakeUps;
  report->Add(
      {Report::Format("Thread wake-ups per exchange, %s: client + peer + "
                      "port threads (preemptions)",
                      shape),
       Report::Format("q7kcomm %.2f + %.2f + %.3f (%.2f)", q.client, q.peer,
                      q.others, q.involuntary),
       Report::Format("raw %.2f + %.2f (%.2f)", r.client, r.peer,
                      r.involuntary),
       "", "≤ raw's",
       q.client + q.peer + q.others <= r.client + r.peer + 0.05});
  report->Add(
      {Report::Format("CPU per round trip (whole process, peer "
                      "included), %s: raw / q7kcomm",
                      shape),
       Report::Format("%.1f / %.1f µs", raw.cpuPerRt, component.cpuPerRt), "",
       "", "", -1});
}

// Through the device server: a plain TCP client on its raw port against
// the component on its COM-port-control port, each with its own answering
// peer and its own server process.
std::vector<Latency> TcpAndNetworkPort(int count) {
  AnsweringPeer rawPeer(PowerOnAckLine());
  AnsweringPeer peer(PowerOnAckLine());
  DeviceServer rawServer(rawPeer.slavePath());
  DeviceServer server(peer.slavePath());
  if (!rawPeer.ok() || !peer.ok() || !rawServer.Start() || !server.Start()) {
    return std::vector<Latency>(2, Failed("no device server"));
  }
  const std::string rawUrl = rawServer.Url(false);
  RawClient client(ConnectLoopback(
      static_cast<uint16_t>(std::stoi(rawUrl.substr(rawUrl.rfind(':') + 1)))));
  ComponentSession session(kPort, server.Url(true));
  if (!client.ok() || !session.ok()) {
    return std::vector<Latency>(2, Failed(session.error()));
  }
  IQ7kComm* comm = session.comm();
  return FloorAndComponent(count, client, rawPeer, comm, peer);
}

// Two components, each against its own answering peer, the second
// recording its session to a file: in turns, so that both see the same
// machine.
std::vector<Latency> PlainAndRecorded(int count, uintmax_t* fileBytes) {
  ScratchDirectory scratch;
  AnsweringPeer plainPeer(PowerOnAckLine());
  AnsweringPeer recordedPeer(PowerOnAckLine());
  SetRecordingPath("");
  auto plain = std::make_unique<ComponentSession>(kPort, plainPeer.slavePath());
  SetRecordingPath("recording.pcapng");
  auto recorded =
      std::make_unique<ComponentSession>(kPort + 1, recordedPeer.slavePath());
  SetRecordingPath("");
  if (!plainPeer.ok() || !recordedPeer.ok() || !plain->ok() ||
      !recorded->ok()) {
    return std::vector<Latency>(
        2, Failed(plain->ok() ? recorded->error() : plain->error()));
  }
  IQ7kComm* a = plain->comm();
  IQ7kComm* b = recorded->comm();
  std::vector<Latency> r = TimeInTurns(
      count,
      {{[a] { return SUCCEEDED(a->StartPONSequence()); }, plainPeer.threadId()},
       {[b] { return SUCCEEDED(b->StartPONSequence()); },
        recordedPeer.threadId()}});
  recorded.reset();  // writes the rest out
  std::error_code ec;
  *fileBytes = std::filesystem::file_size("recording.pcapng", ec);
  return r;
}

}  // namespace

void RunRecordingRoundTrips(const BenchConfig& config, Report* report) {
  uintmax_t bytes = 0;
  const std::vector<Latency> r = PlainAndRecorded(config.roundTrips, &bytes);
  const double x = r[0].median > 0 ? r[1].median / r[0].median : 0;
  report->Add(
      {"Round trip, recording: q7kcomm StartPONSequence, not "
       "recorded",
       Us(r[0]), "", "", "", -1});
  report->Add(
      {"Round trip, recording: q7kcomm StartPONSequence, recorded "
       "to a file",
       Us(r[1]), Report::Format("%.1f µs", r[0].median),
       Report::Format("%.2f×", x), "≤ 1.1×",
       r[1].error.empty() && x > 0 && x <= 1.1});
  report->Add(
      {"Thread wake-ups per exchange, recording: port and recorder threads "
       "(preemptions), not recorded / recorded",
       Report::Format("%.3f (%.2f) / %.3f (%.2f)", r[0].wakeUps.others,
                      r[0].wakeUps.involuntary, r[1].wakeUps.others,
                      r[1].wakeUps.involuntary),
       "", "", "", -1});
  report->Add({"CPU per round trip, recording: not recorded / recorded",
               Report::Format("%.1f / %.1f µs (file: %.0f bytes per round "
                              "trip)",
                              r[0].cpuPerRt, r[1].cpuPerRt,
                              config.roundTrips > 0
                                  ? double(bytes) / (config.roundTrips * 1.1)
                                  : 0.0),
               "", "", "", -1});
}

void RunNetworkRoundTrips(const BenchConfig& config, Report* report) {
  if (!DeviceServer::Installed()) {
    report->Add({"Round trip through ser2net", "ser2net not installed", "", "",
                 "", -1});
    return;
  }
  const std::vector<Latency> r = TcpAndNetworkPort(config.roundTrips / 3);
  const double x = r[0].median > 0 ? r[1].median / r[0].median : 0;
  report->Add({"Round trip through ser2net: raw TCP client (the floor)",
               Us(r[0]), "", "", "", -1});
  report->Add(
      {"Round trip through ser2net: q7kcomm StartPONSequence over "
       "rfc2217:// (purge included)",
       Us(r[1]), Report::Format("%.1f µs", r[0].median),
       Report::Format("%.2f×", x), "≤ 1.2×",
       r[1].error.empty() && x > 0 && x <= 1.2});
}

void RunRoundTrips(const BenchConfig& config, Report* report) {
  const int n = config.roundTrips;
  const std::vector<Latency> inProcess = RawAndComponent(n);
  const std::vector<Latency> children =
      CppAndPython(config, n, config.quick ? 2 : 10);
  const std::vector<Latency> outside =
      OutsideShape(config, n, config.quick ? 2 : 10);
  const Latency py = PySerial(config, n);
  AddShape("benchmark's shape", inProcess[0], inProcess[1], report);
  AddShape("outside client's shape", outside[0], outside[1], report);
  const Latency& cpp = children[0];
  const Latency& python = children[1];
  const double xPython = cpp.median > 0 ? python.median / cpp.median : 0;
  report->Add(
      {"Round trip, client in a child process: q7kcomm "
       "StartPONSequence from C++",
       Us(cpp), "", "", "", -1});
  const bool measured = python.error.empty() && xPython > 0;
  report->Add(
      {"Round trip, client in a child process: q7kcomm "
       "StartPONSequence from Python (the q7kcomm module)",
       Us(python), measured ? Report::Format("%.1f µs", cpp.median) : "",
       measured ? Report::Format("%.2f×", xPython) : "", "≤ 1.3×",
       measured ? xPython <= 1.3 : -1});
  report->Add(
      {"Round trip, pyserial with reset_input_buffer", Us(py), "", "", "", -1});
  const double xPy = py.median > 0 ? inProcess[1].median / py.median : 0;
  report->Add({"Round trip, q7kcomm StartPONSequence, vs pyserial",
               Us(inProcess[1]), Report::Format("%.1f µs", py.median),
               Report::Format("%.2f×", xPy), "≤ 0.6×", xPy <= 0.6});
}

}  // namespace bench
}  // namespace q7k
