// CPU the client process spends while it waits, as a share of the wait:
// a reply that never comes (the 4 s time-out), TimerDelay(2000, 1) with a
// message pump installed, and the boot loader restart with its 7 s pause.
#include "bench/answering_peer.h"
#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/measure.h"
#include "q7kcomm/host.h"

namespace q7k {
namespace bench {
namespace {

constexpr int32_t kPort = 10;
constexpr double kTargetPercent = 2.0;

Row WaitRow(const std::string& what, const ProcessSample& before,
            const ProcessSample& after, bool ok) {
  const double pct = CpuPercent(before, after);
  const double wallMs = Micros(after.wall - before.wall) / 1e3;
  if (!ok) return {what, "failed", "", "", "≤ 2 %", 0};
  return {what,
          Report::Format("%.2f ms CPU in %.0f ms", after.cpuMs - before.cpuMs,
                         wallMs),
          "",
          Report::Format("%.3f %%", pct),
          "≤ 2 % of the wait",
          pct <= kTargetPercent};
}

}  // namespace

void RunWaitCpu(const BenchConfig& config, Report* report) {
  {
    ScratchDirectory scratch;  // the failure goes to the trace log
    AnsweringPeer silent({});
    ComponentSession session(kPort, silent.slavePath());
    const ProcessSample before = SampleProcess();
    const HRESULT hr = session.comm()->StartPONSequence();
    const ProcessSample after = SampleProcess();
    short code = 0;
    session.comm()->get_ErrorCode(&code);
    report->Add(WaitRow("CPU while a reply never comes (4 s time-out)", before,
                        after, hr == E_FAIL && code == 133));
  }
  {
    AnsweringPeer silent({});
    ComponentSession session(kPort, silent.slavePath());
    SetMessagePump([] {});
    const ProcessSample before = SampleProcess();
    const HRESULT hr = session.comm()->TimerDelay(2000, 1);
    const ProcessSample after = SampleProcess();
    SetMessagePump(nullptr);
    report->Add(
        WaitRow("CPU during TimerDelay(2000, 1), message pump installed",
                before, after, hr == S_OK));
  }
  {
    ScratchDirectory scratch;
    ChildProcess emulator({config.emulator});
    std::string path;
    if (!emulator.ok() || !emulator.ReadLine(&path)) {
      report->Add(
          {"CPU during the boot loader restart", "no emulator", "", "", "", 0});
      return;
    }
    ComponentSession session(kPort, path);
    const ProcessSample before = SampleProcess();
    const HRESULT hr = session.comm()->RestartBootLoader(
        static_cast<Q7K_PORT>(kPort), BPS_115200, 5);
    const ProcessSample after = SampleProcess();
    report->Add(
        WaitRow("CPU during RestartBootLoader (the 7 s boot loader "
                "wait)",
                before, after, hr == S_OK));
  }
}

}  // namespace bench
}  // namespace q7k
