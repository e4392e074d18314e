// The benchmark groups the command runs, each adding its rows to the
// report. Paths to the programs they start come from the command line.
//
// Thread safety: each runs on the calling thread (and starts its own).
#ifndef Q7K_BENCH_BENCHMARKS_H_
#define Q7K_BENCH_BENCHMARKS_H_

#include <string>
#include <vector>

#include "bench/report.h"

namespace q7k {
namespace bench {

struct BenchConfig {
  std::string self;             // this program, for the port-holding child
  std::string emulator;         // q7k-emulator
  std::string q7k;              // the q7k tool
  std::string python;           // /usr/bin/python3
  std::string pyClient;         // bench/pyserial_client.py
  std::string pyModuleDir;      // the build's python/, empty when not built
  std::string pyQ7kClient;      // bench/q7kcomm_client.py
  std::string pyThreadsClient;  // bench/python_threads.py
  int roundTrips = 3000;        // per client
  bool quick = false;           // shorter runs, smaller images
};

// Round trip: q7kcomm from C++ and from Python, raw termios with a flush,
// pyserial with a reset.
void RunRoundTrips(const BenchConfig& config, Report* report);
// Round trip of q7kcomm with its session recorded against without.
void RunRecordingRoundTrips(const BenchConfig& config, Report* report);
// Round trip through ser2net: a raw TCP client, q7kcomm over rfc2217://.
void RunNetworkRoundTrips(const BenchConfig& config, Report* report);
// The 256 KiB download through ser2net against the same over the pty.
void RunNetworkDownload(const BenchConfig& config, Report* report);
// CPU while the client waits: a reply time-out, TimerDelay, the boot
// loader's restart.
void RunWaitCpu(const BenchConfig& config, Report* report);
// Download and result polling against the paced virtual instrument.
void RunWireThroughput(const BenchConfig& config, Report* report);
// 1, 4 and 16 objects on their own threads and lines.
void RunManyObjects(const BenchConfig& config, Report* report);
// One line against two on two threads, from C++ and from Python, paced
// and unpaced.
void RunTwoThreads(const BenchConfig& config, Report* report);
// Peak resident memory of q7k demo and of a host holding an open port.
void RunMemory(const BenchConfig& config, Report* report);
// The port-holding child's body; returns its exit code.
int HoldOpenPort();
// The component's client in a child process taking turns on device (see
// bench/q7kcomm_client.py); returns its exit code.
int RunTurnClient(const std::string& device);
// The C++ client of RunTwoThreads in a child process (see
// bench/python_threads.py): prints the round trips per second of one
// thread per path together; returns its exit code.
int RunThreadsClient(double seconds, const std::vector<std::string>& paths);

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_BENCHMARKS_H_
