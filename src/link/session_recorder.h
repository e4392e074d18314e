// SessionRecorder: writes one port's session to a recording file
// (link/recording_format.h) while the port runs.
//
// The port's threads and the client only append encoded packets to a
// buffer under a short lock; the recorder's own thread writes the buffer
// out when it holds kRecordingFlushBytes or every kRecordingFlushInterval,
// so a recording neither waits on the disk nor wakes a thread per packet,
// and the line's timing stays as it was. Once the buffers have grown to a
// session's size, appending allocates nothing.
//
// A file that cannot be opened or written (a full disk), or a backlog over
// kRecordingBacklogLimit, stops the recording; the session goes on. The
// stop is written to the trace log once, on the client's thread (the trace
// log has no lock): at once for a file that cannot be opened, otherwise at
// the client's next purge, failed exchange or the close.
//
// Times: microseconds since 1970, from the steady clock anchored once per
// process at the wall-clock time of the first recording, so they never go
// backwards, within a file or across the recordings a process appends to it.
//
// Thread safety: Received, BeginSend, Sent, LineErrors, ModemLines and
// Break from any of the port's threads; everything else from the client's
// thread.
#ifndef Q7K_LINK_SESSION_RECORDER_H_
#define Q7K_LINK_SESSION_RECORDER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace q7k {

inline constexpr size_t kRecordingFlushBytes = 64 * 1024;
inline constexpr std::chrono::milliseconds kRecordingFlushInterval{200};
inline constexpr size_t kRecordingBacklogLimit = 64 * 1024 * 1024;

// The line settings of an open event.
struct RecordedSettings {
  uint32_t baud = 0;
  int32_t dataBits = 8;
  char parity = 'N';
  int32_t stopBits = 1;
  bool dtr = false, rts = false, xonXoff = false, cts = false, dsr = false;
};

class SessionRecorder {
 public:
  // The recorder for a port created now, or null when none is asked for or
  // its file cannot be opened (one trace-log line then). Writes the
  // header and the start event.
  static std::unique_ptr<SessionRecorder> ForNewPort(
      const std::string& portName, std::optional<int> comNumber);
  ~SessionRecorder();
  SessionRecorder(const SessionRecorder&) = delete;
  SessionRecorder& operator=(const SessionRecorder&) = delete;

  // The file written (the asked-for path, or a name made from it).
  const std::string& path() const { return path_; }

  // Bytes that came in in one read.
  void Received(const uint8_t* bytes, size_t count);
  // Around each write: the instrument may answer, and the reader record the
  // answer, before the write returns. What is recorded in between is held
  // back to follow the bytes sent, which carry the time the write began.
  // Every BeginSend needs its Sent, count 0 included.
  void BeginSend();
  void Sent(const uint8_t* bytes, size_t count);
  void Open(int comNumber, const RecordedSettings& settings,
            const std::string& device);
  void Purge(bool receive, bool transmit);
  void Break(int32_t milliseconds);
  // The line errors the device reported since its last look.
  void LineErrors(bool parity, bool framing, bool overrun, bool overflow,
                  bool breakReceived);
  // The modem lines' new state.
  void ModemLines(bool cts, bool dsr, bool carrier, bool ring);
  void Timeout(uint16_t command, int64_t waitedMs);
  void ExchangeFailed(uint16_t command, int32_t errorNumber);
  // Records the close with the port's status, writes out everything and
  // closes the file. Idempotent; the destructor closes too.
  void Close(int32_t status);

 private:
  SessionRecorder(std::string path, std::FILE* file);
  void Event(uint8_t kind, uint16_t command, uint32_t number, int32_t code);
  template <typename Encode>
  void Append(Encode encode);
  // After pending_ grew from before: wakes the writer or gives up.
  void Queued(size_t before);  // under mutex_
  void WriterLoop();
  void Stop(const char* reason);  // writer thread
  void ReportStop();              // client thread

  const std::string path_;
  std::FILE* file_;  // writer thread only, once started

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<uint8_t> pending_;  // guarded by mutex_
  bool closing_ = false;          // guarded by mutex_
  bool overflowed_ = false;       // guarded by mutex_
  bool sending_ = false;          // guarded by mutex_
  uint64_t sendStartUs_ = 0;      // guarded by mutex_
  std::vector<uint8_t> held_;     // guarded by mutex_; while sending_
  std::vector<uint8_t> writing_;  // writer thread only

  std::atomic<bool> stopped_{false};
  std::string stopReason_;  // set before stopped_
  bool stopReported_ = false;
  bool closed_ = false;
  std::thread writer_;
};

}  // namespace q7k

#endif  // Q7K_LINK_SESSION_RECORDER_H_
