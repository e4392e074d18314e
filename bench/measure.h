// Measuring helpers shared by the benchmarks: CPU and wall time of the
// whole process, the context switches of each of its threads, percentiles
// of a sample, and a component object opened on a device path through the
// public API.
//
// Thread safety: SampleProcess and Percentile are pure; a ComponentSession
// belongs to one thread at a time.
#ifndef Q7K_BENCH_MEASURE_H_
#define Q7K_BENCH_MEASURE_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace bench {

using WallClock = std::chrono::steady_clock;

struct ProcessSample {
  double cpuMs = 0;  // every thread of the process
  WallClock::time_point wall;
};
ProcessSample SampleProcess();
// CPU milliseconds per wall millisecond between two samples, in percent.
double CpuPercent(const ProcessSample& before, const ProcessSample& after);
double Micros(WallClock::duration d);

// Context switches of every thread of this process by thread id, from
// /proc/self/task: voluntary ones (the thread blocked and was woken again,
// one wake-up each) and involuntary ones (it was preempted).
struct Switches {
  uint64_t voluntary = 0;
  uint64_t involuntary = 0;
};
using ThreadSwitches = std::map<pid_t, Switches>;
ThreadSwitches SampleThreadSwitches();

// Wake-ups per exchange, by who was woken: the client's thread, its peer's,
// and every other thread of the process (the port's reader and writer).
struct WakeUps {
  double client = 0;
  double peer = 0;
  double others = 0;
  double involuntary = 0;  // preemptions of all threads together
};
// Adds the switches between before and after, divided by exchanges. Threads
// in ignored (another client's idle peer) count nowhere.
void AddWakeUps(const ThreadSwitches& before, const ThreadSwitches& after,
                pid_t client, pid_t peer, const std::vector<pid_t>& ignored,
                double exchanges, WakeUps* sum);

// The q-quantile (0..1) of samples, which it sorts. 0 when empty.
double Percentile(std::vector<double>* samples, double q);

// A component object whose port number `port` is mapped to path and opened
// at bps.
class ComponentSession {
 public:
  ComponentSession(int32_t port, const std::string& path,
                   Q7K_BPS bps = BPS_115200);
  ~ComponentSession();
  ComponentSession(const ComponentSession&) = delete;
  ComponentSession& operator=(const ComponentSession&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  IQ7kComm* comm() const { return comm_.Get(); }
  // The component's error text, for a failed call.
  std::string LastMessage() const;

 private:
  int32_t port_;
  ComPtr<IQ7kComm> comm_;
  std::string error_;
};

// Runs in a fresh temporary directory (the trace log and image files land
// there) and removes it with its files afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string previous_;
  std::string path_;
};

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_MEASURE_H_
