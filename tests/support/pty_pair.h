// Pseudo-terminals for serial tests: the code under test opens the slave
// side by its path; the test plays the far end (instrument, loopback plug,
// dead cable) on the master side through PtyPeer. Every wait has a deadline.
//
// Thread safety: PtyPair belongs to one thread; a PtyPeer's methods may be
// called from any thread.
#ifndef Q7K_TESTS_SUPPORT_PTY_PAIR_H_
#define Q7K_TESTS_SUPPORT_PTY_PAIR_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace q7k {

// Generous: a deadline only ends a test that already failed.
inline constexpr std::chrono::milliseconds kPtyDeadline{10000};

// One pseudo-terminal, both ends in raw mode. The pair keeps its own slave
// descriptor open (CloseSlave drops it) so the master never reads end of
// file while the code under test closes and reopens the slave.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // False when no pseudo-terminal could be had (errno-style text in error()).
  bool ok() const { return master_ >= 0; }
  const std::string& error() const { return error_; }
  // The path to open, e.g. "/dev/pts/3".
  const std::string& slavePath() const { return slavePath_; }
  // The master descriptor, non-blocking; -1 once closed.
  int master() const { return master_; }

  // Closes the master: the slave side hangs up, as when a cable is pulled.
  // REQUIRES: no PtyPeer still uses master().
  void CloseMaster();
  void CloseSlave();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string error_;
};

// The far end as a thread: reads everything that arrives at a descriptor
// into a log (unless paused), writes what Send queued, and optionally
// answers.
class PtyPeer {
 public:
  // Called on the peer thread with each chunk read; the bytes it returns are
  // sent back (e.g. an echo, or an instrument's reply).
  using Responder =
      std::function<std::vector<uint8_t>(const std::vector<uint8_t>& chunk)>;

  // fd is not owned and must outlive the peer.
  explicit PtyPeer(int fd, Responder responder = nullptr);
  // Stops and joins the thread.
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  // Queued; the thread writes them as the line takes them.
  void Send(const std::vector<uint8_t>& bytes);
  // Waits until everything queued with Send has been written.
  bool WaitSent(std::chrono::milliseconds deadline = kPtyDeadline);

  // Waits until at least count bytes have been received in all.
  bool WaitReceived(size_t count,
                    std::chrono::milliseconds deadline = kPtyDeadline);
  // Waits until done(everything received so far) holds, e.g. until a whole
  // frame has arrived; gives up early when the line closed.
  bool WaitFor(const std::function<bool(const std::vector<uint8_t>&)>& done,
               std::chrono::milliseconds deadline = kPtyDeadline);
  // Waits until the line hung up or failed.
  bool WaitClosed(std::chrono::milliseconds deadline = kPtyDeadline);
  // Everything received so far, oldest first.
  std::vector<uint8_t> Received() const;
  // Stops / resumes reading the master, so the port's output backs up.
  void SetReading(bool on);

 private:
  void Run();
  void Ring();

  const int fd_;
  const Responder responder_;
  int wake_ = -1;  // eventfd

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t> received_;
  std::vector<uint8_t> outbox_;
  bool reading_ = true;
  bool stop_ = false;
  bool gone_ = false;  // hung up or failed: the thread only waits

  std::thread thread_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_PTY_PAIR_H_
