#include "bench/measure.h"

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace q7k {
namespace bench {

ProcessSample SampleProcess() {
  ProcessSample s;
  timespec cpu = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  s.cpuMs = static_cast<double>(cpu.tv_sec) * 1e3 +
            static_cast<double>(cpu.tv_nsec) / 1e6;
  s.wall = WallClock::now();
  return s;
}

double Micros(WallClock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double CpuPercent(const ProcessSample& before, const ProcessSample& after) {
  const double wallMs = Micros(after.wall - before.wall) / 1e3;
  return wallMs > 0 ? 100.0 * (after.cpuMs - before.cpuMs) / wallMs : 0;
}

ThreadSwitches SampleThreadSwitches() {
  ThreadSwitches all;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return all;
  while (dirent* e = readdir(dir)) {
    const pid_t tid = static_cast<pid_t>(std::atoi(e->d_name));
    if (tid <= 0) continue;
    std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/status");
    Switches& s = all[tid];
    for (std::string line; std::getline(in, line);) {
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      const std::string key = line.substr(0, colon);
      if (key == "voluntary_ctxt_switches") {
        s.voluntary = std::stoull(line.substr(colon + 1));
      } else if (key == "nonvoluntary_ctxt_switches") {
        s.involuntary = std::stoull(line.substr(colon + 1));
      }
    }
  }
  closedir(dir);
  return all;
}

void AddWakeUps(const ThreadSwitches& before, const ThreadSwitches& after,
                pid_t client, pid_t peer, const std::vector<pid_t>& ignored,
                double exchanges, WakeUps* sum) {
  if (exchanges <= 0) return;
  for (const auto& [tid, now] : after) {
    if (std::find(ignored.begin(), ignored.end(), tid) != ignored.end()) {
      continue;
    }
    const auto was = before.find(tid);
    const Switches then = was != before.end() ? was->second : Switches{};
    const double woken = (now.voluntary - then.voluntary) / exchanges;
    (tid == client ? sum->client
     : tid == peer ? sum->peer
                   : sum->others) += woken;
    sum->involuntary += (now.involuntary - then.involuntary) / exchanges;
  }
}

double Percentile(std::vector<double>* samples, double q) {
  if (samples->empty()) return 0;
  std::sort(samples->begin(), samples->end());
  return (*samples)[static_cast<size_t>(q * (samples->size() - 1) + 0.5)];
}

ComponentSession::ComponentSession(int32_t port, const std::string& path,
                                   Q7K_BPS bps)
    : port_(port) {
  SetSerialPortPath(port, path);
  if (FAILED(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm_.AsVoidOut()))) {
    error_ = "CreateInstance failed";
  } else if (FAILED(comm_->OpenPort(static_cast<Q7K_PORT>(port), bps))) {
    error_ = "OpenPort failed: " + LastMessage();
  }
}

ComponentSession::~ComponentSession() {
  if (comm_) comm_->ClosePort();
  SetSerialPortPath(port_, "");
}

std::string ComponentSession::LastMessage() const {
  Bstr text;
  if (comm_) comm_->get_ErrorMsg(text.out());
  return text.utf8();
}

ScratchDirectory::ScratchDirectory() {
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/q7k_bench_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
    return;
  }
  previous_ = cwd;
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  if (DIR* dir = opendir(path_.c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") unlink((path_ + "/" + name).c_str());
    }
    closedir(dir);
  }
  [[maybe_unused]] const int back = chdir(previous_.c_str());
  rmdir(path_.c_str());
}

}  // namespace bench
}  // namespace q7k
