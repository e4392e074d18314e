// Peak resident memory: the q7k tool's simulated demo, and a host process
// that does nothing but hold an open port (this program, started again).
#include "bench/answering_peer.h"
#include "bench/bench_frames.h"
#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/measure.h"

namespace q7k {
namespace bench {

int HoldOpenPort() {
  AnsweringPeer peer(PowerOnAckLine());
  ComponentSession session(12, peer.slavePath());
  return session.ok() && SUCCEEDED(session.comm()->StartPONSequence()) ? 0 : 1;
}

void RunMemory(const BenchConfig& config, Report* report) {
  {
    ScratchDirectory scratch;
    ChildProcess demo({config.q7k, "demo", "--fast"});
    for (std::string line; demo.ReadLine(&line);) {
    }
    const int status = demo.Wait();
    const double mib = demo.peakRssKiB() / 1024.0;
    report->Add({"Peak resident memory of q7k demo --fast",
                 status == 0 ? Report::Format("%.1f MiB", mib) : "failed", "",
                 "", "≤ 16 MiB", status == 0 && mib <= 16});
  }
  ChildProcess host({config.self, "--hold-port"});
  const int status = host.Wait();
  report->Add({"Peak resident memory of a host holding an open port",
               status == 0
                   ? Report::Format("%.1f MiB", host.peakRssKiB() / 1024.0)
                   : "failed",
               "", "", "", -1});
}

}  // namespace bench
}  // namespace q7k
