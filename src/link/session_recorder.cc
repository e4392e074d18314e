#include "link/session_recorder.h"

#include <system_error>
#include <utility>

#include "link/recording_file.h"
#include "link/recording_format.h"
#include "link/recording_path.h"
#include "log/trace_log.h"
#include "resources/version.h"

namespace q7k {
namespace {

// One anchor for the process: recordings appended to one file keep rising.
uint64_t NowUs() {
  using namespace std::chrono;
  static const auto anchor =
      std::make_pair(system_clock::now(), steady_clock::now());
  const auto wall = anchor.first + duration_cast<system_clock::duration>(
                                       steady_clock::now() - anchor.second);
  return static_cast<uint64_t>(
      duration_cast<microseconds>(wall.time_since_epoch()).count());
}

std::string Application() {
  return std::string("q7kcomm ") + kComponentVersion;
}

void TraceStop(const std::string& path, const std::string& reason) {
  const std::string line = "Recording stopped: " + path + ": " + reason;
  TraceLine(line.c_str(), true);
}

}  // namespace

std::unique_ptr<SessionRecorder> SessionRecorder::ForNewPort(
    const std::string& portName, std::optional<int> comNumber) {
  const std::string asked = RecordingPathSetting();
  if (asked.empty()) return nullptr;
  const RecordingFileClaim claim = ClaimRecordingFile(asked, comNumber);
  if (claim.claimed.empty()) {
    TraceStop(asked, "every name for it is in use");
    return nullptr;
  }
  // A process's later recordings to the same file add a section to it.
  std::FILE* file =
      OpenRecordingFile(claim.claimed, claim.firstUse ? "wb" : "ab");
  if (file == nullptr) {
    ReleaseRecordingFile(claim.claimed);
    TraceStop(claim.claimed, "cannot open the file");
    return nullptr;
  }
  std::unique_ptr<SessionRecorder> recorder(
      new SessionRecorder(claim.claimed, file));
  try {
    recorder->writer_ =
        std::thread(&SessionRecorder::WriterLoop, recorder.get());
  } catch (const std::system_error&) {
    TraceStop(claim.claimed, "cannot start its thread");
    return nullptr;  // the destructor closes and releases the file
  }
  recorder->Append([&](uint64_t, std::vector<uint8_t>* out) {
    AppendRecordingHeader(Application(), portName, out);
  });
  recorder->Append([](uint64_t now, std::vector<uint8_t>* out) {
    RecordingEvent start;
    start.timeUs = now;
    start.kind = RecordingEventKind::kStart;
    start.number = kRecordingFormatVersion;
    start.text = kComponentVersion;
    AppendRecordingEvent(start, out);
  });
  return recorder;
}

SessionRecorder::SessionRecorder(std::string path, std::FILE* file)
    : path_(std::move(path)), file_(file) {
  pending_.reserve(kRecordingFlushBytes * 2);
  writing_.reserve(kRecordingFlushBytes * 2);
}

SessionRecorder::~SessionRecorder() { Close(0); }

template <typename Encode>
void SessionRecorder::Append(Encode encode) {
  if (stopped_.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (closing_ || overflowed_) return;
  const size_t before = pending_.size();
  // The time is taken under the lock: file order and time order agree.
  encode(NowUs(), sending_ ? &held_ : &pending_);
  Queued(before);
}

void SessionRecorder::Queued(size_t before) {
  // Only crossing the threshold wakes the writer; otherwise it comes by on
  // its own.
  if (before < kRecordingFlushBytes &&
      pending_.size() >= kRecordingFlushBytes) {
    wake_.notify_one();
  }
  if (pending_.size() > kRecordingBacklogLimit) {
    // The writer is stuck on the disk: give up rather than hold the line.
    overflowed_ = true;
    pending_.clear();
    wake_.notify_one();
  }
}

void SessionRecorder::Received(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  Append([&](uint64_t now, std::vector<uint8_t>* out) {
    AppendRecordingData(now, RecordingDirection::kFromInstrument, bytes, count,
                        out);
  });
}

void SessionRecorder::BeginSend() {
  std::lock_guard<std::mutex> lock(mutex_);
  sending_ = true;
  sendStartUs_ = NowUs();
}

void SessionRecorder::Sent(const uint8_t* bytes, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  sending_ = false;
  if (stopped_.load(std::memory_order_relaxed) || closing_ || overflowed_) {
    held_.clear();
    return;
  }
  const size_t before = pending_.size();
  if (count > 0) {
    AppendRecordingData(sendStartUs_, RecordingDirection::kToInstrument, bytes,
                        count, &pending_);
  }
  pending_.insert(pending_.end(), held_.begin(), held_.end());
  held_.clear();
  Queued(before);
}

void SessionRecorder::Event(uint8_t kind, uint16_t command, uint32_t number,
                            int32_t code) {
  Append([&](uint64_t now, std::vector<uint8_t>* out) {
    RecordingEvent e;
    e.timeUs = now;
    e.kind = static_cast<RecordingEventKind>(kind);
    e.command = command;
    e.number = number;
    e.code = code;
    AppendRecordingEvent(e, out);
  });
}

void SessionRecorder::Open(int comNumber, const RecordedSettings& s,
                           const std::string& device) {
  Append([&](uint64_t now, std::vector<uint8_t>* out) {
    RecordingEvent e;
    e.timeUs = now;
    e.kind = RecordingEventKind::kOpen;
    e.number = static_cast<uint32_t>(comNumber);
    e.baud = s.baud;
    e.dataBits = static_cast<uint8_t>(s.dataBits);
    e.parity = s.parity;
    e.stopBits = static_cast<uint8_t>(s.stopBits);
    e.lineFlags = static_cast<uint8_t>(
        (s.dtr ? kRecordingLineFlagDtr : 0) | (s.rts ? kRecordingLineFlagRts : 0) |
        (s.xonXoff ? kRecordingLineFlagXonXoff : 0) | (s.cts ? kRecordingLineFlagCts : 0) |
        (s.dsr ? kRecordingLineFlagDsr : 0));
    e.text = device;
    AppendRecordingEvent(e, out);
  });
}

void SessionRecorder::Purge(bool receive, bool transmit) {
  ReportStop();
  Event(static_cast<uint8_t>(RecordingEventKind::kPurge), 0,
        (receive ? kRecordingPurgeReceive : 0) |
            (transmit ? kRecordingPurgeTransmit : 0),
        0);
}

void SessionRecorder::Break(int32_t milliseconds) {
  Event(static_cast<uint8_t>(RecordingEventKind::kBreak), 0,
        static_cast<uint32_t>(milliseconds), 0);
}

void SessionRecorder::LineErrors(bool parity, bool framing, bool overrun,
                                 bool overflow, bool breakReceived) {
  const uint32_t mask = (parity ? kRecordingLineErrorParity : 0) |
                        (framing ? kRecordingLineErrorFraming : 0) |
                        (overrun ? kRecordingLineErrorOverrun : 0) |
                        (overflow ? kRecordingLineErrorReceiveOverflow : 0) |
                        (breakReceived ? kRecordingLineErrorBreak : 0);
  if (mask == 0) return;
  Event(static_cast<uint8_t>(RecordingEventKind::kLineError), 0, mask, 0);
}

void SessionRecorder::ModemLines(bool cts, bool dsr, bool carrier, bool ring) {
  Event(static_cast<uint8_t>(RecordingEventKind::kModemLines), 0,
        (cts ? kRecordingModemCts : 0) | (dsr ? kRecordingModemDsr : 0) |
            (carrier ? kRecordingModemCarrier : 0) | (ring ? kRecordingModemRing : 0),
        0);
}

void SessionRecorder::Timeout(uint16_t command, int64_t waitedMs) {
  ReportStop();
  Event(static_cast<uint8_t>(RecordingEventKind::kTimeout), command,
        static_cast<uint32_t>(waitedMs < 0 ? 0 : waitedMs), 0);
}

void SessionRecorder::ExchangeFailed(uint16_t command, int32_t errorNumber) {
  ReportStop();
  Event(static_cast<uint8_t>(RecordingEventKind::kExchangeFailed), command, 0,
        errorNumber);
}

void SessionRecorder::Close(int32_t status) {
  if (closed_) return;
  closed_ = true;
  Event(static_cast<uint8_t>(RecordingEventKind::kClose), 0, 0, status);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  wake_.notify_one();
  if (writer_.joinable()) {
    writer_.join();
  } else if (file_ != nullptr) {
    std::fclose(file_);  // never handed to a thread
    file_ = nullptr;
  }
  ReleaseRecordingFile(path_);
  ReportStop();
}

void SessionRecorder::WriterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, kRecordingFlushInterval, [&] {
      return closing_ || overflowed_ || pending_.size() >= kRecordingFlushBytes;
    });
    const bool last = closing_;
    const bool overflowed = overflowed_;
    writing_.swap(pending_);
    lock.unlock();
    if (overflowed) Stop("the disk cannot keep up");
    if (!writing_.empty() && file_ != nullptr) {
      const bool written = std::fwrite(writing_.data(), 1, writing_.size(),
                                       file_) == writing_.size() &&
                           std::fflush(file_) == 0;
      if (!written) Stop("cannot write the file (disk full?)");
    }
    writing_.clear();
    if (last) break;
    lock.lock();
  }
  std::FILE* file = std::exchange(file_, nullptr);
  if (file != nullptr && std::fclose(file) != 0) {
    Stop("cannot write the file (disk full?)");
  }
}

void SessionRecorder::Stop(const char* reason) {
  if (stopped_.load()) return;
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  stopReason_ = reason;
  stopped_.store(true);
}

void SessionRecorder::ReportStop() {
  if (stopReported_ || !stopped_.load()) return;
  stopReported_ = true;
  TraceStop(path_, stopReason_);
}

}  // namespace q7k
