// AnsweringPeer: the far end of a pseudo-terminal for the benchmarks, an
// instrument that answers every complete request line at once with a fixed
// reply, or never (a silent instrument).
//
//   AnsweringPeer peer(PowerOnAckLine());
//   if (!peer.ok()) ...;                // peer.error() says why
//   open(peer.slavePath().c_str(), ...) // the client's side
//
// The peer's thread blocks in poll() on the master and a stop event; it
// reads whatever arrived, finds the end of a request by its DLE ETX (a
// doubled DLE is data) and writes the reply straight back. Nothing else
// happens between a request's last byte and the reply's first write, so the
// peer adds the least a real thread on the far end can add.
//
// The peer keeps a slave descriptor of its own open, so a client may close
// and reopen the slave while the master stays usable.
//
// Thread safety: the constructor and destructor belong to one thread; the
// accessors may be called from any thread.
#ifndef Q7K_BENCH_ANSWERING_PEER_H_
#define Q7K_BENCH_ANSWERING_PEER_H_

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace q7k {
namespace bench {

class AnsweringPeer {
 public:
  // Opens a raw pseudo-terminal and starts the thread. An empty reply makes
  // a silent peer that only swallows requests.
  explicit AnsweringPeer(std::vector<uint8_t> reply);
  // Stops and joins the thread, closes both ends.
  ~AnsweringPeer();
  AnsweringPeer(const AnsweringPeer&) = delete;
  AnsweringPeer& operator=(const AnsweringPeer&) = delete;

  // False when no pseudo-terminal or thread could be had; error() says why.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // The path a client opens, e.g. "/dev/pts/3".
  const std::string& slavePath() const { return slavePath_; }

  // The peer thread's id once it runs, else 0.
  pid_t threadId() const { return threadId_.load(); }
  // Complete requests received so far.
  size_t requests() const { return requests_.load(); }
  // The line bytes of the last complete request (DLE STX to DLE ETX).
  std::vector<uint8_t> LastRequest() const;

 private:
  void Run();
  // Feeds received bytes; answers each request they complete. False when
  // the master failed.
  bool Take(const uint8_t* bytes, size_t n);
  bool WriteAll(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t> reply_;
  int master_ = -1;
  int slave_ = -1;
  int stop_ = -1;  // eventfd
  std::string slavePath_;
  std::string error_;

  // Peer thread only.
  std::vector<uint8_t> current_;
  bool afterDle_ = false;

  std::atomic<size_t> requests_{0};
  std::atomic<pid_t> threadId_{0};
  mutable std::mutex mutex_;
  std::vector<uint8_t> lastRequest_;  // guarded by mutex_

  std::thread thread_;
};

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_ANSWERING_PEER_H_
