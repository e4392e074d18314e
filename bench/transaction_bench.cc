// Transaction benchmarks over a pseudo-terminal: the component's power-on
// round trip against an instantly answering peer, the same write/poll/read
// done by a minimal raw-termios client (the floor), and the CPU the process
// burns while a 4 s reply time-out runs out against a silent peer.
// docs/performance.md explains how to run them and what the numbers mean.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/answering_peer.h"
#include "bench/bench_frames.h"
#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kBenchPort = 9;
constexpr int kReplyTimeoutMs = 4000;  // the component's default
constexpr short kNoResponseCode = 133;

// CPU time of every thread of the process, and its context switches (each
// one a thread going to sleep or being pre-empted).
struct ProcessSample {
  double cpuMs = 0;
  long switches = 0;
  Clock::time_point wall;
};

ProcessSample SampleProcess() {
  ProcessSample s;
  timespec cpu = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  s.cpuMs = static_cast<double>(cpu.tv_sec) * 1e3 +
            static_cast<double>(cpu.tv_nsec) / 1e6;
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  s.switches = usage.ru_nvcsw + usage.ru_nivcsw;
  s.wall = Clock::now();
  return s;
}

double Microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

// Per-round-trip samples, reported as counters: the median is what the
// targets speak of; the mean alone hides a slow tail or a fast majority.
class RoundTripStats {
 public:
  void Start() {
    samples_.clear();
    start_ = SampleProcess();
  }
  void Add(Clock::duration d) { samples_.push_back(Microseconds(d)); }
  // Returns the median in microseconds (0 without samples).
  double Report(benchmark::State& state) {
    if (samples_.empty()) return 0;
    const ProcessSample end = SampleProcess();
    std::sort(samples_.begin(), samples_.end());
    const auto at = [this](double q) {
      return samples_[static_cast<size_t>(q * (samples_.size() - 1))];
    };
    const double n = static_cast<double>(samples_.size());
    state.counters["median_us"] = at(0.5);
    state.counters["p90_us"] = at(0.9);
    state.counters["p99_us"] = at(0.99);
    state.counters["min_us"] = samples_.front();
    state.counters["switches_per_rt"] =
        static_cast<double>(end.switches - start_.switches) / n;
    state.counters["cpu_us_per_rt"] = (end.cpuMs - start_.cpuMs) * 1e3 / n;
    return at(0.5);
  }

 private:
  std::vector<double> samples_;
  ProcessSample start_;
};

// The last raw median, so the component's run can state its ratio to it.
std::atomic<double> rawFloorMedianUs{0};

// The floor: a serial client as small as one can be written. Raw mode,
// non-blocking, one write, then poll and read until the reply is complete.
class RawTermiosClient {
 public:
  explicit RawTermiosClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio = {};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&tio, B115200);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~RawTermiosClient() {
    if (fd_ >= 0) close(fd_);
  }
  RawTermiosClient(const RawTermiosClient&) = delete;
  RawTermiosClient& operator=(const RawTermiosClient&) = delete;

  bool ok() const { return fd_ >= 0; }

  // Sends request and waits up to timeoutMs for replySize bytes. False on
  // time-out or error.
  bool RoundTrip(const Bytes& request, size_t replySize, int timeoutMs) {
    size_t done = 0;
    while (done < request.size()) {
      const ssize_t put =
          write(fd_, request.data() + done, request.size() - done);
      if (put > 0) {
        done += static_cast<size_t>(put);
      } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
        return false;
      } else if (!Await(POLLOUT, timeoutMs)) {
        return false;
      }
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t reply[256];
    size_t got = 0;
    while (got < replySize) {
      const ssize_t n = read(fd_, reply, sizeof reply);
      if (n > 0) {
        got += static_cast<size_t>(n);
        continue;
      }
      if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || !Await(POLLIN, static_cast<int>(left.count())))
        return false;
    }
    return true;
  }

 private:
  bool Await(short events, int timeoutMs) {
    pollfd p = {fd_, events, 0};
    const int r = poll(&p, 1, timeoutMs);
    return r > 0 || (r < 0 && errno == EINTR);
  }

  int fd_ = -1;
};

// A component object whose port kBenchPort is the peer's slave, opened at
// BPS_115200 through the public API only.
class ComponentSession {
 public:
  explicit ComponentSession(const std::string& slavePath) {
    SetSerialPortPath(kBenchPort, slavePath);
    if (FAILED(
            CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm_.AsVoidOut()))) {
      error_ = "CreateInstance failed";
    } else if (FAILED(comm_->OpenPort(static_cast<Q7K_PORT>(kBenchPort),
                                      BPS_115200))) {
      error_ = "OpenPort failed";
    }
  }
  ~ComponentSession() {
    if (comm_) comm_->ClosePort();
    SetSerialPortPath(kBenchPort, "");
  }
  ComponentSession(const ComponentSession&) = delete;
  ComponentSession& operator=(const ComponentSession&) = delete;

  const std::string& error() const { return error_; }
  IQ7kComm* comm() const { return comm_.Get(); }

 private:
  ComPtr<IQ7kComm> comm_;
  std::string error_;
};

// A failed transaction appends to the trace log in the current directory:
// keep it in a directory of its own and remove it afterwards.
class ScopedScratchDirectory {
 public:
  ScopedScratchDirectory() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/q7k_bench_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0)
      return;
    previous_ = cwd;
    path_ = pattern;
  }
  ~ScopedScratchDirectory() {
    if (path_.empty()) return;
    for (const char* name : {"Q7kComm.log", "Q7kComm.bak"}) {
      unlink((path_ + "/" + name).c_str());
    }
    [[maybe_unused]] const int back = chdir(previous_.c_str());
    rmdir(path_.c_str());
  }
  ScopedScratchDirectory(const ScopedScratchDirectory&) = delete;
  ScopedScratchDirectory& operator=(const ScopedScratchDirectory&) = delete;

 private:
  std::string previous_;
  std::string path_;
};

// Waits that run out: the CPU the whole process spent per wait, and as a
// share of the wall time the wait took.
class TimeoutStats {
 public:
  void Add(const ProcessSample& before, const ProcessSample& after) {
    cpuMs_ += after.cpuMs - before.cpuMs;
    wallMs_ += Microseconds(after.wall - before.wall) / 1e3;
    switches_ += after.switches - before.switches;
    ++waits_;
  }
  void Report(benchmark::State& state) const {
    if (waits_ == 0) return;
    state.counters["cpu_ms"] = cpuMs_ / waits_;
    state.counters["wall_ms"] = wallMs_ / waits_;
    state.counters["cpu_pct"] = 100.0 * cpuMs_ / wallMs_;
    state.counters["switches"] = static_cast<double>(switches_) / waits_;
  }

 private:
  double cpuMs_ = 0;
  double wallMs_ = 0;
  long switches_ = 0;
  int waits_ = 0;
};

void BM_RawTermiosRoundTrip(benchmark::State& state) {
  AnsweringPeer peer(PowerOnAckLine());
  if (!peer.ok()) return state.SkipWithError(peer.error().c_str());
  RawTermiosClient client(peer.slavePath());
  if (!client.ok()) return state.SkipWithError("cannot open the slave");
  const Bytes request = PowerOnRequestLine();
  const size_t replySize = PowerOnAckLine().size();
  if (!client.RoundTrip(request, replySize, kReplyTimeoutMs)) {
    return state.SkipWithError("no reply from the peer");
  }
  RoundTripStats stats;
  stats.Start();
  for (auto _ : state) {
    const auto start = Clock::now();
    const bool ok = client.RoundTrip(request, replySize, kReplyTimeoutMs);
    const auto elapsed = Clock::now() - start;
    if (!ok) {
      state.SkipWithError("no reply from the peer");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    stats.Add(elapsed);
  }
  rawFloorMedianUs.store(stats.Report(state));
}

void BM_ComponentRoundTrip(benchmark::State& state) {
  AnsweringPeer peer(PowerOnAckLine());
  if (!peer.ok()) return state.SkipWithError(peer.error().c_str());
  ComponentSession session(peer.slavePath());
  if (!session.error().empty()) {
    return state.SkipWithError(session.error().c_str());
  }
  IQ7kComm* comm = session.comm();
  if (FAILED(comm->StartPONSequence())) {
    return state.SkipWithError("StartPONSequence failed");
  }
  // The comparison is only fair if both clients put the same bytes on the
  // line.
  if (peer.LastRequest() != PowerOnRequestLine()) {
    return state.SkipWithError("the component sent other request bytes");
  }
  RoundTripStats stats;
  stats.Start();
  for (auto _ : state) {
    const auto start = Clock::now();
    const HRESULT hr = comm->StartPONSequence();
    const auto elapsed = Clock::now() - start;
    if (FAILED(hr)) {
      state.SkipWithError("StartPONSequence failed");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    stats.Add(elapsed);
  }
  const double median = stats.Report(state);
  const double floor = rawFloorMedianUs.load();
  if (median > 0 && floor > 0) state.counters["x_raw_floor"] = median / floor;
}

void BM_TimeoutCpu(benchmark::State& state) {
  ScopedScratchDirectory scratch;
  AnsweringPeer peer({});  // silent
  if (!peer.ok()) return state.SkipWithError(peer.error().c_str());
  ComponentSession session(peer.slavePath());
  if (!session.error().empty()) {
    return state.SkipWithError(session.error().c_str());
  }
  IQ7kComm* comm = session.comm();
  TimeoutStats stats;
  for (auto _ : state) {
    const ProcessSample before = SampleProcess();
    const HRESULT hr = comm->StartPONSequence();
    const ProcessSample after = SampleProcess();
    short code = 0;
    comm->get_LastError(&code);
    if (hr != E_FAIL || code != kNoResponseCode) {
      state.SkipWithError("expected the no-response failure");
      break;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(after.wall - before.wall).count());
    stats.Add(before, after);
  }
  stats.Report(state);
}

void BM_RawTermiosTimeoutCpu(benchmark::State& state) {
  AnsweringPeer peer({});  // silent
  if (!peer.ok()) return state.SkipWithError(peer.error().c_str());
  RawTermiosClient client(peer.slavePath());
  if (!client.ok()) return state.SkipWithError("cannot open the slave");
  const Bytes request = PowerOnRequestLine();
  const size_t replySize = PowerOnAckLine().size();
  TimeoutStats stats;
  for (auto _ : state) {
    const ProcessSample before = SampleProcess();
    const bool answered = client.RoundTrip(request, replySize, kReplyTimeoutMs);
    const ProcessSample after = SampleProcess();
    if (answered) {
      state.SkipWithError("a silent peer answered");
      break;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(after.wall - before.wall).count());
    stats.Add(before, after);
  }
  stats.Report(state);
}

// The floor runs first so the component's run can report its ratio to it.
BENCHMARK(BM_RawTermiosRoundTrip)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_ComponentRoundTrip)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
// Each iteration is one whole 4 s time-out.
BENCHMARK(BM_TimeoutCpu)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_RawTermiosTimeoutCpu)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace bench
}  // namespace q7k

BENCHMARK_MAIN();
