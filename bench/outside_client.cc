#include "bench/outside_client.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "bench/bench_frames.h"
#include "bench/measure.h"
#include "bench/raw_client.h"
#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace bench {
namespace {

constexpr int kPort = 9;

// The far end: blocking read()s on the master, the reply written whenever a
// line's DLE ETX has come. It ends when the last slave descriptor closes
// (the master's read then fails).
class BlockingPeer {
 public:
  BlockingPeer() : reply_(PowerOnAckLine()) {
    termios raw = {};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    if (openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) return;
    char path[256];
    if (ttyname_r(slave_, path, sizeof path) == 0) path_ = path;
    thread_ = std::thread([this] { Run(); });
  }
  ~BlockingPeer() {
    CloseSlave();
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
  }
  BlockingPeer(const BlockingPeer&) = delete;
  BlockingPeer& operator=(const BlockingPeer&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  pid_t threadId() const { return threadId_.load(); }
  void CloseSlave() {
    if (slave_ >= 0) close(slave_);
    slave_ = -1;
  }

 private:
  void Run() {
    threadId_.store(gettid());
    uint8_t block[256];
    bool afterDle = false;
    for (;;) {
      const ssize_t n = read(master_, block, sizeof block);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      for (ssize_t i = 0; i < n; ++i) {
        if (afterDle && block[i] == kEtx &&
            write(master_, reply_.data(), reply_.size()) !=
                static_cast<ssize_t>(reply_.size())) {
          return;
        }
        afterDle = !afterDle && block[i] == kDle;
      }
    }
  }

  const Bytes reply_;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::atomic<pid_t> threadId_{0};
  std::thread thread_;
};

// Times count calls of roundTrip and prints the two lines.
int TimeAndPrint(int count, const BlockingPeer& peer,
                 const std::function<bool()>& roundTrip) {
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(count));
  const ThreadSwitches before = SampleThreadSwitches();
  const ProcessSample cpuBefore = SampleProcess();
  for (int i = 0; i < count; ++i) {
    const auto start = WallClock::now();
    if (!roundTrip()) {
      std::fprintf(stderr, "no reply\n");
      return 1;
    }
    samples.push_back(Micros(WallClock::now() - start));
  }
  const double cpuUs = (SampleProcess().cpuMs - cpuBefore.cpuMs) * 1e3 / count;
  WakeUps w;
  AddWakeUps(before, SampleThreadSwitches(), gettid(), peer.threadId(), {},
             count, &w);
  std::printf("wake-ups %.3f %.3f %.3f %.3f %.1f\n", w.client, w.peer, w.others,
              w.involuntary, cpuUs);
  for (double s : samples) std::printf("%.1f ", s);
  std::printf("\n");
  return 0;
}

}  // namespace

int RunOutsideClient(const std::string& kind, int count) {
  BlockingPeer peer;
  if (!peer.ok() || count <= 0) return 1;
  if (kind == "raw") {
    RawClient client(peer.path());
    peer.CloseSlave();
    if (!client.ok()) return 1;
    const Bytes request = PowerOnRequestLine();
    const size_t replySize = PowerOnAckLine().size();
    return TimeAndPrint(count, peer,
                        [&] { return client.RoundTrip(request, replySize); });
  }
  if (kind != "q7kcomm") return 2;
  setenv("Q7K_COM9", peer.path().c_str(), 1);
  ComPtr<IQ7kComm> comm;
  if (FAILED(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm.AsVoidOut())) ||
      FAILED(comm->OpenPort(static_cast<Q7K_PORT>(kPort), BPS_115200))) {
    return 1;
  }
  peer.CloseSlave();
  const int result = TimeAndPrint(
      count, peer, [&] { return SUCCEEDED(comm->StartPONSequence()); });
  comm->ClosePort();
  return result;
}

}  // namespace bench
}  // namespace q7k
