#include "line_server.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/telnet_codec.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kReadBlock = 512;
// Request bytes kept for the trace; a longer run of noise is cut.
constexpr size_t kMaxTraced = 4096;
// How long a closing line waits for the host to take a partial reply: at
// least kCloseSettle, at most kCloseLinger, looking every kLingerCheck.
constexpr std::chrono::milliseconds kCloseSettle{20};
constexpr std::chrono::milliseconds kCloseLinger{2000};
constexpr std::chrono::milliseconds kLingerCheck{2};
// How late a replayed piece may leave unremarked.
constexpr std::chrono::milliseconds kReplayTolerance{2};

}  // namespace

const char kClientRefusedText[] = "q7k-emulator: in use by another client\r\n";

uint32_t ReproducibleLineErrors(const LineOptions& options) {
  if (!options.listen.empty()) {
    return options.listen.rfind("rfc2217:", 0) == 0
               ? kRecordingLineErrorParity | kRecordingLineErrorFraming |
                     kRecordingLineErrorOverrun | kRecordingLineErrorBreak
               : 0;
  }
  return options.device.empty() ? 0 : kRecordingLineErrorBreak;
}

const char* LineKind(const LineOptions& options) {
  if (!options.listen.empty()) {
    return options.listen.rfind("rfc2217:", 0) == 0 ? "an rfc2217 client"
                                                    : "a raw socket";
  }
  return options.device.empty() ? "a pseudo-terminal" : "a serial device";
}

std::chrono::microseconds WireTime(size_t bytes, uint32_t baud) {
  if (baud == 0) return std::chrono::microseconds(0);
  return std::chrono::microseconds(static_cast<int64_t>(bytes) * 10 * 1000000 /
                                   baud);
}

LineServer::LineServer(const LineOptions& options, Handler handler)
    : options_(options),
      handler_(std::move(handler)),
      comPort_(options.baud, this) {}

LineServer::~LineServer() { Stop(); }

std::string LineServer::path() const {
  std::lock_guard<std::mutex> lock(pathMutex_);
  return path_;
}

bool LineServer::OpenLine(std::string* error) {
  if (!options_.listen.empty()) {
    const bool ok = listener_.Open(options_.listen, error);
    std::lock_guard<std::mutex> lock(pathMutex_);
    path_ = ok ? listener_.url() : std::string();
    return ok;
  }
  const bool ok = options_.device.empty()
                      ? line_.OpenPseudoTerminal(options_.linkPath, error)
                      : line_.OpenDevice(options_.device, options_.baud, error);
  std::lock_guard<std::mutex> lock(pathMutex_);
  path_ = ok ? line_.path() : std::string();
  return ok;
}

bool LineServer::Start(std::string* error) {
  if (!options_.tracePath.empty() && !trace_.is_open() &&
      !trace_.Open(options_.tracePath, error)) {
    return false;
  }
  if (!OpenLine(error)) return false;
  int fds[2];
  if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    line_.Close();
    return false;
  }
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  stop_ = false;
  running_ = true;
  heard_ = false;
  decoder_.Reset();
  raw_.clear();
  lineFreeAt_ = Clock::now();
  worker_ = std::thread(&LineServer::Run, this);
  return true;
}

void LineServer::Stop() {
  if (worker_.joinable()) {
    stop_ = true;
    const char wake = 1;
    // The pipe has room: at most one byte is ever pending per Stop.
    (void)!::write(wakeWrite_, &wake, 1);
    worker_.join();
  }
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
  wakeRead_ = wakeWrite_ = -1;
  if (client_ >= 0) CloseConnection(client_);
  client_ = -1;
  listener_.Close();
  line_.Close();
  std::lock_guard<std::mutex> lock(pathMutex_);
  path_.clear();
  running_ = false;
}

void LineServer::Run() {
  // The default 50 us of timer slack lets every pacing sleep end late; on a
  // short exchange that is several byte times the host waits for nothing.
  prctl(PR_SET_TIMERSLACK, 1UL);
  uint8_t block[kReadBlock];
  std::string lost;
  while (!stop_) {
    // A negative descriptor (no client, or no listener) is left out by poll.
    pollfd fds[3] = {{LineFd(), POLLIN, 0},
                     {wakeRead_, POLLIN, 0},
                     {listener_.fd(), POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0 || stop_) break;
    if (fds[2].revents != 0) AcceptClient();
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(LineFd(), block, sizeof block);
      if (n > 0) {
        heard_ = true;
        Received(block, static_cast<size_t>(n));
        if (lineLost_ && !Reopen("line lost while writing", &lost)) break;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    } else if (fds[0].revents == 0) {
      continue;
    }
    // Hang-up, error or end of file: the line is gone.
    if (!Reopen("line lost", &lost)) break;
  }
  running_ = false;
  if (!lost.empty() && lost_) lost_(lost);
}

int LineServer::LineFd() const {
  return listener_.fd() >= 0 ? client_ : line_.fd();
}

void LineServer::Received(const uint8_t* bytes, size_t n) {
  if (client_ >= 0 && listener_.telnet()) {
    comPort_.Feed(bytes, n);
  } else {
    Consume(bytes, n);
  }
}

void LineServer::AcceptClient() {
  std::string peer;
  const int fd = listener_.Accept(&peer);
  if (fd < 0) return;
  // A client that just left may not have been read to its end yet, bytes
  // it sent last included (while a reply was paused or paced): it must not
  // keep the next one out. Its end shows before those bytes are read.
  pollfd left = {client_, POLLRDHUP, 0};
  if (client_ >= 0 && ::poll(&left, 1, 0) > 0) DropClient("line lost");
  if (client_ >= 0) {
    RefuseConnection(fd, kClientRefusedText);
    trace_.Note("client " + peer + " refused: another is connected");
    return;
  }
  client_ = fd;
  comPort_.Reset();
  decoder_.Reset();
  raw_.clear();
  lineFreeAt_ = Clock::now();
  trace_.Note("client " + peer + " connected");
}

void LineServer::DropClient(const std::string& why) {
  if (client_ >= 0) CloseConnection(client_);
  client_ = -1;
  decoder_.Reset();
  raw_.clear();
  trace_.Note(why + "; client gone, listening at " + listener_.url());
}

void LineServer::OnLineData(const uint8_t* data, size_t n) {
  if (!lineLost_) Consume(data, n);
}

void LineServer::OnReply(const std::vector<uint8_t>& bytes) {
  if (!lineLost_) WriteLine(bytes.data(), bytes.size());
}

void LineServer::OnPurge(uint8_t which) {
  static const char* const kWhat[] = {"", "receive", "transmit", "both"};
  trace_.Note(std::string("purge ") + kWhat[which]);
}

void LineServer::OnBreak(bool on) {
  // The instrument has no use for a break: it is only noted.
  trace_.Note(on ? "break on" : "break off");
}

void LineServer::Consume(const uint8_t* bytes, size_t n) {
  if (options_.loopback) {
    SendPaced(bytes, n, Clock::now());
    return;
  }
  lastRead_ = Clock::now();
  for (size_t i = 0; i < n && !stop_ && !lineLost_; ++i) {
    if (raw_.empty()) firstByte_ = Clock::now();
    if (raw_.size() < kMaxTraced) raw_.push_back(bytes[i]);
    // One byte at a time: the decoder drops whatever follows a frame in the
    // block it was fed, and a host may send the next request right behind.
    switch (decoder_.Feed(&bytes[i], 1)) {
      case LineDecoder::kComplete:
        Answer();
        decoder_.Reset();
        raw_.clear();
        break;
      case LineDecoder::kTooLong:
        trace_.Note("request frame too long, dropped");
        decoder_.Reset();
        raw_.clear();
        break;
      default:
        break;
    }
  }
}

void LineServer::Answer() {
  // The request has not fully arrived before its bytes crossed the wire.
  const auto ready = firstByte_ + WireTime(raw_.size(), options_.baud) +
                     std::chrono::milliseconds(options_.turnaroundMs);
  if (!SleepUntil(ready)) return;
  Exchange ex = handler_(decoder_.frame(), decoder_.count());
  if (!ex.answered) {
    trace_.Write(raw_, nullptr, {"dropped"});
    return;
  }
  // The reply follows the request's last byte on the line's own time, not
  // from whenever this thread woke up and answered: otherwise its lateness
  // adds to every exchange. No byte reaches the host earlier than a real
  // line could bring it, since ready is no earlier than the request's end.
  if (!ex.tx.recorded.empty()) {
    // Recorded delays count from the request's last byte.
    if (Replay(ex.tx.recorded, std::max(ready, lastRead_)) && ex.tx.close) {
      CloseLine();
    }
    std::vector<uint8_t> sent;
    for (const ReplayChunk& c : ex.tx.recorded) {
      sent.insert(sent.end(), c.bytes.begin(), c.bytes.end());
    }
    trace_.Write(raw_, &sent, ex.tx.faults);
    return;
  }
  Transmit(ex.tx, ready);
  if (ex.tx.silent) {
    trace_.Write(raw_, nullptr, ex.tx.faults);
  } else if (ex.tx.close) {
    std::vector<uint8_t> sent(ex.tx.line.begin(),
                              ex.tx.line.begin() + ex.tx.closeAfter);
    trace_.Write(raw_, &sent, ex.tx.faults);
  } else {
    trace_.Write(raw_, &ex.tx.line, ex.tx.faults);
  }
}

void LineServer::Transmit(const Transmission& tx, Clock::time_point from) {
  if (tx.silent) {
    if (tx.close) CloseLine();  // a replayed port failure after silence
    return;
  }
  const size_t limit = tx.close ? tx.closeAfter : tx.line.size();
  const size_t chunk = tx.chunk > 0 ? tx.chunk : std::max<size_t>(limit, 1);
  for (size_t off = 0; off < limit; off += chunk) {
    if (!SendPaced(tx.line.data() + off, std::min(chunk, limit - off), from)) {
      return;
    }
    if (tx.chunk > 0 && tx.chunkDelayMs > 0 && off + chunk < limit) {
      if (!SleepUntil(Clock::now() +
                      std::chrono::milliseconds(tx.chunkDelayMs))) {
        return;
      }
      from = Clock::now();
    }
  }
  if (tx.close) CloseLine();
}

void LineServer::CloseLine() {
  // Closing a pseudo-terminal discards what its host has not read yet, so
  // the partial reply is given the chance to arrive first: the kernel
  // moves written bytes to the host's queue a moment later, and the host
  // then takes them.
  const auto start = Clock::now();
  if (!SleepUntil(start + kCloseSettle)) return;
  while (Unconsumed() > 0 && Clock::now() < start + kCloseLinger) {
    if (!SleepUntil(Clock::now() + kLingerCheck)) return;
  }
  lineLost_ = true;
}

bool LineServer::Replay(const std::vector<ReplayChunk>& chunks,
                        Clock::time_point from) {
  for (const ReplayChunk& c : chunks) {
    if (!SleepUntil(from + c.delay)) return false;
    // A busy machine can wake this thread late: the trace tells.
    const auto late = std::chrono::duration_cast<std::chrono::microseconds>(
        Clock::now() - (from + c.delay));
    if (late > kReplayTolerance) {
      trace_.Note("replayed piece " + std::to_string(&c - &chunks[0] + 1) +
                  " left " + std::to_string(late.count()) + " us late");
    }
    if (c.bytes.empty()) {
      SignalLineErrors(c.lineErrors);
    } else if (!WriteAll(c.bytes.data(), c.bytes.size())) {
      return false;
    }
  }
  return true;
}

void LineServer::SignalLineErrors(uint32_t mask) {
  mask &= ReproducibleLineErrors(options_);
  if (mask == 0) return;
  if (listener_.fd() < 0) {
    tcsendbreak(line_.fd(), 0);
    return;
  }
  uint8_t bits = 0;
  if (mask & kRecordingLineErrorOverrun) bits |= telnet::kLineOverrun;
  if (mask & kRecordingLineErrorParity) bits |= telnet::kLineParity;
  if (mask & kRecordingLineErrorFraming) bits |= telnet::kLineFraming;
  if (mask & kRecordingLineErrorBreak) bits |= telnet::kLineBreak;
  // As a device server does: only what the client asked to hear of.
  bits &= comPort_.lineStateMask();
  if (bits == 0) return;
  std::vector<uint8_t> notify;
  AppendComPortCommand(telnet::kNotifyLineState + telnet::kServerOffset, &bits,
                       1, &notify);
  WriteLine(notify.data(), notify.size());
}

bool LineServer::SendPaced(const uint8_t* p, size_t n, Clock::time_point from) {
  if (options_.baud == 0) return WriteAll(p, n);
  // About 10 ms of bytes a write, so the wire time is spread evenly.
  // Each slice is handed over when its last byte would have crossed the
  // wire, so the host never has a byte earlier than a real line gives it.
  const size_t slice = std::max<size_t>(1, options_.baud / 1000);
  const auto start = std::max(from, lineFreeAt_);
  size_t sent = 0;
  while (sent < n) {
    const size_t k = std::min(slice, n - sent);
    lineFreeAt_ = start + WireTime(sent + k, options_.baud);
    if (!SleepUntil(lineFreeAt_)) return false;
    if (!WriteAll(p + sent, k)) return false;
    sent += k;
  }
  return true;
}

int LineServer::Unconsumed() const {
  if (listener_.fd() < 0) return line_.Unconsumed();
  // Sent but not yet acknowledged by the client.
  int n = -1;
  if (client_ < 0 || ioctl(client_, SIOCOUTQ, &n) != 0) n = -1;
  return n;
}

bool LineServer::WriteAll(const uint8_t* p, size_t n) {
  if (client_ < 0 || !listener_.telnet()) return WriteLine(p, n);
  escaped_.clear();
  AppendTelnetData(p, n, &escaped_);
  return WriteLine(escaped_.data(), escaped_.size());
}

bool LineServer::WriteLine(const uint8_t* p, size_t n) {
  const int fd = LineFd();
  if (fd < 0) return false;
  while (n > 0) {
    // A client that went away must not raise SIGPIPE in a host process.
    const ssize_t w =
        client_ >= 0 ? ::send(fd, p, n, MSG_NOSIGNAL) : ::write(fd, p, n);
    if (w > 0) {
      p += w;
      n -= static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN) {
      lineLost_ = true;
      return false;
    }
    // The host is not reading: wait for room, or for Stop.
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (stop_) return false;
  }
  return true;
}

bool LineServer::SleepUntil(Clock::time_point deadline) {
  for (;;) {
    if (stop_) return false;
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return true;
    // To the nanosecond: a paced line's byte takes under 0.1 ms, and
    // rounding each sleep up to whole milliseconds slowed short exchanges
    // far below the line's rate.
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout = {static_cast<time_t>(ns / 1000000000),
                              static_cast<long>(ns % 1000000000)};
    pollfd wake = {wakeRead_, POLLIN, 0};
    if (::ppoll(&wake, 1, &timeout, nullptr) > 0) return false;
  }
}

bool LineServer::Reopen(const std::string& why, std::string* failure) {
  lineLost_ = false;
  if (listener_.fd() >= 0) {
    DropClient(why);
    return true;
  }
  // A line that ends before anything came (not a serial line at all, or
  // one that keeps hanging up) would be opened again in a busy loop.
  if (!heard_) {
    *failure = why + " before anything arrived; not opened again";
    trace_.Note(*failure);
    return false;
  }
  heard_ = false;
  decoder_.Reset();
  raw_.clear();
  line_.Close();
  std::string error;
  if (!OpenLine(&error)) {
    *failure = why + "; cannot open the line again: " + error;
    trace_.Note(*failure);
    return false;
  }
  trace_.Note(why + "; line open again at " + line_.path());
  if (opened_) opened_(line_.path());
  return true;
}

}  // namespace emu
}  // namespace q7k
