#include "platform/posix_network_serial_io.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/clock.h"

namespace q7k {
namespace {

using namespace telnet;

constexpr size_t kReceiveBlock = 1024;
// Data kept while a settings call waits for its answer; beyond this the
// oldest bytes go, counted as an input overflow like a full UART buffer's.
constexpr size_t kMaxKept = 64 * 1024;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             CurrentClock().Now().time_since_epoch())
      .count();
}

int RemainingMs(int64_t deadlineMs) {
  return static_cast<int>(std::clamp<int64_t>(deadlineMs - NowMs(), 0, 60000));
}

uint32_t SocketError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return static_cast<uint32_t>(errno);
  }
  return static_cast<uint32_t>(error);
}

// One address, non-blocking, within the deadline. The descriptor or -1
// with *error set.
int ConnectOne(const struct addrinfo* a, int64_t deadlineMs, uint32_t* error) {
  const int fd =
      socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
             a->ai_protocol);
  if (fd < 0) {
    *error = static_cast<uint32_t>(errno);
    return -1;
  }
  if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      *error = static_cast<uint32_t>(errno);
      close(fd);
      return -1;
    }
    struct pollfd p = {fd, POLLOUT, 0};
    int ready;
    while ((ready = poll(&p, 1, RemainingMs(deadlineMs))) < 0 &&
           errno == EINTR) {
    }
    // An address that never answers is as good as no route to it.
    *error = ready == 0 ? EHOSTUNREACH : SocketError(fd);
    if (*error != 0) {
      close(fd);
      return -1;
    }
  }
  const int on = 1;
  // Exchanges are short; Nagle's delay would double their round trip.
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

// Servers that send a reply in two segments hold the second back until the
// first is acknowledged (Nagle); acknowledging at once, not after the
// delayed-ACK time, saves that wait on every exchange. The kernel drops the
// mode by itself, so it is asked for again after every receive.
void AcknowledgeAtOnce(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

bool Has(const uint8_t* bitmap, uint8_t option) {
  return (bitmap[option / 8] & (1u << (option % 8))) != 0;
}
void Mark(uint8_t* bitmap, uint8_t option) {
  bitmap[option / 8] =
      static_cast<uint8_t>(bitmap[option / 8] | (1u << (option % 8)));
}

bool Accepted(uint8_t option, bool ours) {
  return option == kBinary || option == kSuppressGoAhead ||
         (ours && option == kComPort);
}

uint8_t ParityCode(char parity) {
  switch (parity) {
    case 'O':
      return 2;
    case 'E':
      return 3;
    case 'M':
      return 4;
    case 'S':
      return 5;
    default:
      return 1;
  }
}

char ParityLetter(uint8_t code) {
  static constexpr char kLetters[] = "?NOEMS";
  return code >= 1 && code <= 5 ? kLetters[code] : '?';
}

constexpr uint32_t Bit(uint8_t code) { return 1u << code; }
constexpr uint32_t kFormatAnswers =
    Bit(kSetBaudRate) | Bit(kSetDataSize) | Bit(kSetParity) | Bit(kSetStopSize);

}  // namespace

NetworkSerialIo::~NetworkSerialIo() {
  if (fd_ >= 0) close(fd_);
}

uint32_t NetworkSerialIo::Open(const PortUrl& url) {
  if (dataBell_.Error() != 0) return dataBell_.Error();
  if (answerBell_.Error() != 0) return answerBell_.Error();
  control_ = url.comPortControl;
  if (const uint32_t error = Connect(url)) return error;
  if (!control_) return 0;
  const uint32_t error = Negotiate();
  if (error != 0) {
    close(fd_);
    fd_ = -1;
  }
  return error;
}

uint32_t NetworkSerialIo::Connect(const PortUrl& url) {
  struct addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* list = nullptr;
  if (getaddrinfo(url.host.c_str(), url.service.c_str(), &hints, &list) != 0) {
    return EHOSTUNREACH;
  }
  const int64_t deadline = NowMs() + kNetworkAnswerTimeoutMs;
  uint32_t error = EHOSTUNREACH;
  for (const struct addrinfo* a = list; a != nullptr && fd_ < 0;
       a = a->ai_next) {
    fd_ = ConnectOne(a, deadline, &error);
  }
  freeaddrinfo(list);
  return fd_ >= 0 ? 0 : error;
}

uint32_t NetworkSerialIo::Negotiate() {
  std::vector<uint8_t> hello;
  for (const auto& [verb, option] :
       {std::pair{kWill, kComPort}, {kWill, kBinary}, {kDo, kBinary}}) {
    AppendTelnetNegotiation(verb, option, &hello);
    Mark(verb == kWill ? sentWill_ : sentDo_, option);
  }
  if (const uint32_t error = SendCommands(hello)) return error;
  const int64_t deadline = NowMs() + kNetworkAnswerTimeoutMs;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(rxMutex_);
      PumpLocked();
      if (rxError_ != 0) return ClosedDuringOpenLocked();
      if (comPortRefused_) return EPROTONOSUPPORT;
      if (comPortAgreed_) break;
    }
    struct pollfd p[2] = {{fd_, POLLIN, 0},
                          {static_cast<int>(answerBell_.Handle()), POLLIN, 0}};
    if (poll(p, 2, RemainingMs(deadline)) == 0) return ETIMEDOUT;
    answerBell_.Drain();
  }
  // A value of 0 asks for the current setting: the answers are the line
  // format the device has, and a server busy with another client shows
  // itself here.
  const uint8_t zero[4] = {};
  SendComPort(kSetBaudRate, zero, 4);
  for (const uint8_t code : {kSetDataSize, kSetParity, kSetStopSize}) {
    SendComPort(code, zero, 1);
  }
  const uint32_t error = AwaitAnswers(kFormatAnswers, deadline);
  if (error != 0) {
    std::lock_guard<std::mutex> lock(rxMutex_);
    return rxError_ != 0 ? ClosedDuringOpenLocked() : error;
  }
  std::lock_guard<std::mutex> lock(rxMutex_);
  current_.baud = answerBaud_;
  current_.dataBits = answerValue_[kSetDataSize];
  current_.parity = ParityLetter(answerValue_[kSetParity]);
  current_.stopBits = answerValue_[kSetStopSize] == 2 ? 2 : 1;
  return 0;
}

uint32_t NetworkSerialIo::ClosedDuringOpenLocked() const {
  // A device server turning a second client away says so in words before
  // it closes; that is the one way to tell "in use" from a plain failure.
  const std::string_view said(reinterpret_cast<const char*>(kept_.data()),
                              kept_.size());
  if (said.find("in use") != std::string_view::npos) return EBUSY;
  return rxError_ == EIO ? ECONNRESET : rxError_;
}

uint32_t NetworkSerialIo::AwaitAnswers(uint32_t mask, int64_t deadlineMs) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(rxMutex_);
      PumpLocked();
      if ((answered_ & mask) == mask) return 0;
      if (rxError_ != 0) return rxError_;
    }
    // The reader thread may decode the answer first; it rings answerBell_.
    struct pollfd p[2] = {{fd_, POLLIN, 0},
                          {static_cast<int>(answerBell_.Handle()), POLLIN, 0}};
    if (poll(p, 2, RemainingMs(deadlineMs)) == 0) return ETIMEDOUT;
    answerBell_.Drain();
  }
}

void NetworkSerialIo::PumpLocked() {
  uint8_t block[kReceiveBlock];
  const size_t before = kept_.size();
  // Bounded, so a server that never stops sending cannot keep the lock.
  for (size_t round = 0; rxError_ == 0 && round < kMaxKept / kReceiveBlock;
       ++round) {
    const ssize_t got = recv(fd_, block, sizeof block, MSG_DONTWAIT);
    if (got > 0) AcknowledgeAtOnce(fd_);
    if (got > 0 && !control_) {
      kept_.insert(kept_.end(), block, block + got);
    } else if (got > 0) {
      decoder_.Feed(block, static_cast<size_t>(got), &kept_, this);
    }
    if (got > 0) continue;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    rxError_ = got == 0 ? EIO : static_cast<uint32_t>(errno);
  }
  if (kept_.size() > kMaxKept) {
    kept_.erase(kept_.begin(), kept_.end() - kMaxKept);
    std::lock_guard<std::mutex> lock(countsMutex_);
    ++counts_.receiveOverflow;
  }
  if (kept_.size() != before || rxError_ != 0) dataBell_.Signal();
}

uint32_t NetworkSerialIo::ReadSettings(SerialLineSettings* settings) const {
  settings->baud = current_.baud;
  settings->parity = current_.parity;
  settings->dataBits = current_.dataBits;
  settings->stopBits = current_.stopBits;
  return 0;
}

uint32_t NetworkSerialIo::ApplySettings(const SerialLineSettings& s) {
  if (!control_) {
    current_ = s;  // nothing to tell a plain byte stream
    return 0;
  }
  uint32_t mask = 0;
  {
    std::lock_guard<std::mutex> lock(rxMutex_);
    if (s.baud != current_.baud) mask |= Bit(kSetBaudRate);
    if (s.dataBits != current_.dataBits) mask |= Bit(kSetDataSize);
    if (s.parity != current_.parity) mask |= Bit(kSetParity);
    if (s.stopBits != current_.stopBits) mask |= Bit(kSetStopSize);
    answered_ &= ~mask;
  }
  if ((mask & Bit(kSetBaudRate)) != 0) {
    const uint8_t rate[4] = {
        static_cast<uint8_t>(s.baud >> 24), static_cast<uint8_t>(s.baud >> 16),
        static_cast<uint8_t>(s.baud >> 8), static_cast<uint8_t>(s.baud)};
    SendComPort(kSetBaudRate, rate, 4);
  }
  const uint8_t size = static_cast<uint8_t>(s.dataBits);
  const uint8_t parity = ParityCode(s.parity);
  const uint8_t stop = static_cast<uint8_t>(s.stopBits);
  if ((mask & Bit(kSetDataSize)) != 0) SendComPort(kSetDataSize, &size, 1);
  if ((mask & Bit(kSetParity)) != 0) SendComPort(kSetParity, &parity, 1);
  if ((mask & Bit(kSetStopSize)) != 0) SendComPort(kSetStopSize, &stop, 1);

  // The control lines are best effort, as on a local port: servers differ
  // in how (and whether) they answer them, so no answer is awaited.
  const bool linesChanged = !linesSent_ || s.xonXoff != current_.xonXoff ||
                            s.ctsHandshake != current_.ctsHandshake ||
                            s.dtr != current_.dtr || s.rts != current_.rts;
  if (linesChanged) {
    const uint8_t flow = s.ctsHandshake ? kFlowHardware
                         : s.xonXoff    ? kFlowXonXoff
                                        : kFlowNone;
    const uint8_t dtr = s.dtr ? kDtrOn : kDtrOff;
    const uint8_t rts = s.rts ? kRtsOn : kRtsOff;
    SendComPort(kSetControl, &flow, 1);
    SendComPort(kSetControl, &dtr, 1);
    if (!s.ctsHandshake) SendComPort(kSetControl, &rts, 1);
    linesSent_ = true;
  }
  current_.xonXoff = s.xonXoff;
  current_.ctsHandshake = s.ctsHandshake;
  current_.dtr = s.dtr;
  current_.rts = s.rts;
  if (mask == 0) return 0;

  const uint32_t error = AwaitAnswers(mask, NowMs() + kNetworkAnswerTimeoutMs);
  if (error != 0) return error;
  std::lock_guard<std::mutex> lock(rxMutex_);
  // The server's answers are what the line now runs at.
  if ((mask & Bit(kSetBaudRate)) != 0) current_.baud = answerBaud_;
  if ((mask & Bit(kSetDataSize)) != 0) {
    current_.dataBits = answerValue_[kSetDataSize];
  }
  if ((mask & Bit(kSetParity)) != 0) {
    current_.parity = ParityLetter(answerValue_[kSetParity]);
  }
  if ((mask & Bit(kSetStopSize)) != 0) {
    current_.stopBits = answerValue_[kSetStopSize];
  }
  const uint64_t difference =
      current_.baud > s.baud ? current_.baud - s.baud : s.baud - current_.baud;
  // The same tolerance as a local driver's rounding.
  if (difference * 100 > uint64_t{s.baud} * 3 ||
      current_.dataBits != s.dataBits || current_.parity != s.parity ||
      current_.stopBits != s.stopBits) {
    return EINVAL;
  }
  return 0;
}

int32_t NetworkSerialIo::Read(uint8_t* buffer, size_t n, uint32_t* error) {
  if (n == 0) return 0;
  std::lock_guard<std::mutex> lock(rxMutex_);
  if (!kept_.empty()) {
    const size_t take = std::min(n, kept_.size());
    std::memcpy(buffer, kept_.data(), take);
    kept_.erase(kept_.begin(), kept_.begin() + static_cast<ptrdiff_t>(take));
    return static_cast<int32_t>(take);
  }
  while (rxError_ == 0) {
    // No more than n raw bytes: decoding only shrinks them, so the data
    // fits the caller's buffer.
    const ssize_t got =
        recv(fd_, buffer, std::min(n, kReceiveBlock), MSG_DONTWAIT);
    if (got > 0) AcknowledgeAtOnce(fd_);
    if (got > 0 && !control_) return static_cast<int32_t>(got);
    if (got > 0) {
      scratch_.clear();
      decoder_.Feed(buffer, static_cast<size_t>(got), &scratch_, this);
      std::copy(scratch_.begin(), scratch_.end(), buffer);
      return static_cast<int32_t>(scratch_.size());
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    rxError_ = got == 0 ? EIO : static_cast<uint32_t>(errno);
  }
  *error = rxError_;
  return -1;
}

uint32_t NetworkSerialIo::FlushLocked() {
  while (!txPending_.empty()) {
    const ssize_t put = send(fd_, txPending_.data(), txPending_.size(),
                             MSG_DONTWAIT | MSG_NOSIGNAL);
    if (put > 0) {
      txPending_.erase(txPending_.begin(), txPending_.begin() + put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return put < 0 ? static_cast<uint32_t>(errno) : EIO;
  }
  return 0;
}

int32_t NetworkSerialIo::Write(const uint8_t* bytes, size_t n,
                               uint32_t* error) {
  if (n == 0) return 0;
  std::lock_guard<std::mutex> lock(txMutex_);
  if (const uint32_t e = FlushLocked()) {
    *error = e;
    return -1;
  }
  if (!txPending_.empty()) return 0;
  txScratch_.clear();
  if (control_) {
    AppendTelnetData(bytes, n, &txScratch_);
  } else {
    txScratch_.assign(bytes, bytes + n);
  }
  ssize_t put;
  while ((put = send(fd_, txScratch_.data(), txScratch_.size(),
                     MSG_DONTWAIT | MSG_NOSIGNAL)) < 0 &&
         errno == EINTR) {
  }
  if (put < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    *error = static_cast<uint32_t>(errno);
    return -1;
  }
  // Count the data bytes the socket took; half an escape pair counts as
  // taken and its other half waits in front of the next bytes.
  size_t encoded = 0;
  size_t taken = 0;
  while (taken < n && encoded < static_cast<size_t>(put)) {
    encoded += control_ && bytes[taken] == kIac ? 2 : 1;
    ++taken;
  }
  if (encoded > static_cast<size_t>(put)) {
    txPending_.push_back(kIac);
    // Nobody may call again soon: the byte goes out now.
    if (const uint32_t e = FlushWaitingLocked()) {
      *error = e;
      return -1;
    }
  }
  return static_cast<int32_t>(taken);
}

uint32_t NetworkSerialIo::FlushWaitingLocked() {
  const int64_t deadline = NowMs() + kNetworkAnswerTimeoutMs;
  for (;;) {
    if (const uint32_t error = FlushLocked()) return error;
    if (txPending_.empty()) return 0;
    struct pollfd p = {fd_, POLLOUT, 0};
    if (poll(&p, 1, RemainingMs(deadline)) == 0) return ETIMEDOUT;
  }
}

uint32_t NetworkSerialIo::SendCommands(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(txMutex_);
  txPending_.insert(txPending_.end(), bytes.begin(), bytes.end());
  // Only a full socket delays a command, and then briefly: no data may
  // follow to carry it out.
  return FlushWaitingLocked();
}

void NetworkSerialIo::SendComPort(uint8_t code, const uint8_t* value,
                                  size_t n) {
  std::vector<uint8_t> command;
  AppendComPortCommand(code, value, n, &command);
  SendCommands(command);  // a failure shows at the next read or write
}

WaitResult NetworkSerialIo::Wait(const WakeEvent& wake, uint32_t interest,
                                 int32_t timeoutMs) const {
  WaitResult result;
  const bool reading = (interest & kWaitReadable) != 0;
  if (reading) {
    std::lock_guard<std::mutex> lock(rxMutex_);
    if (!kept_.empty() || rxError_ != 0) {
      result.readable = true;
      return result;
    }
  }
  struct pollfd fds[3] = {};
  fds[0] = {static_cast<int>(wake.Handle()), POLLIN, 0};
  nfds_t count = 1;
  if (interest != 0) {
    short events = 0;
    if (reading) events |= POLLIN;
    if ((interest & kWaitWritable) != 0) events |= POLLOUT;
    if ((interest & kWaitHangup) != 0) events |= POLLRDHUP;
    fds[count++] = {fd_, events, 0};
  }
  if (reading) fds[count++] = {static_cast<int>(dataBell_.Handle()), POLLIN, 0};
  if (poll(fds, count, timeoutMs) < 0) {
    if (errno != EINTR) result.error = static_cast<uint32_t>(errno);
    return result;
  }
  result.woken = (fds[0].revents & POLLIN) != 0;
  if (interest != 0) {
    const short revents = fds[1].revents;
    result.readable = (revents & POLLIN) != 0;
    result.writable = (revents & POLLOUT) != 0;
    result.hangup = (revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (result.hangup) result.error = (revents & POLLNVAL) != 0 ? EBADF : EIO;
  }
  if (reading && (fds[count - 1].revents & POLLIN) != 0) {
    dataBell_.Drain();
    result.readable = true;
  }
  return result;
}

void NetworkSerialIo::PurgeInput() {
  {
    std::lock_guard<std::mutex> lock(rxMutex_);
    PumpLocked();
    kept_.clear();
  }
  // Not waiting for the acknowledgement: some servers never send it, and
  // the bytes it would drop are on their way either way.
  if (control_) {
    const uint8_t which = kPurgeReceive;
    SendComPort(kPurgeData, &which, 1);
  }
}

void NetworkSerialIo::PurgeOutput() {
  if (!control_) return;
  const uint8_t which = kPurgeTransmit;
  SendComPort(kPurgeData, &which, 1);
}

void NetworkSerialIo::SetBreak(bool on) {
  if (!control_) return;
  const uint8_t value = on ? kBreakOn : kBreakOff;
  SendComPort(kSetControl, &value, 1);
}

bool NetworkSerialIo::ReadModemStatus(uint32_t* bits) const {
  if (!control_) return false;
  *bits = modemBits_.load();
  return true;
}

bool NetworkSerialIo::ReadLineErrorCounts(LineErrorCounts* counts) const {
  if (!control_) return false;
  std::lock_guard<std::mutex> lock(countsMutex_);
  *counts = counts_;
  return true;
}

void NetworkSerialIo::OnNegotiation(uint8_t verb, uint8_t option) {
  std::vector<uint8_t> reply;
  switch (verb) {
    case kDo:
      if (option == kComPort) comPortAgreed_ = true;
      if (!Has(sentWill_, option)) {
        AppendTelnetNegotiation(Accepted(option, true) ? kWill : kWont, option,
                                &reply);
        Mark(sentWill_, option);
      }
      break;
    case kDont:
      if (option == kComPort) comPortRefused_ = true;
      break;
    case kWill:
      if (!Has(sentDo_, option)) {
        AppendTelnetNegotiation(Accepted(option, false) ? kDo : kDont, option,
                                &reply);
        Mark(sentDo_, option);
      }
      break;
    default:
      break;
  }
  if (!reply.empty()) SendCommands(reply);
  answerBell_.Signal();
}

void NetworkSerialIo::OnComPort(uint8_t code, const uint8_t* value, size_t n) {
  if (code < kServerOffset || n == 0) return;
  const uint8_t command = static_cast<uint8_t>(code - kServerOffset);
  switch (command) {
    case kSetBaudRate:
      if (n < 4) return;
      answerBaud_ = uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 |
                    uint32_t{value[2]} << 8 | value[3];
      break;
    case kSetDataSize:
    case kSetParity:
    case kSetStopSize:
      answerValue_[command] = value[0];
      break;
    case kNotifyLineState: {
      std::lock_guard<std::mutex> lock(countsMutex_);
      counts_.overrun += (value[0] & kLineOverrun) != 0;
      counts_.parity += (value[0] & kLineParity) != 0;
      counts_.framing += (value[0] & kLineFraming) != 0;
      counts_.breaks += (value[0] & kLineBreak) != 0;
      return;
    }
    case kNotifyModemState:
      // The upper half carries the lines, with the same bits as kModem*.
      modemBits_.store(value[0] & 0xF0u);
      return;
    default:
      return;
  }
  answered_ |= Bit(command);
  answerBell_.Signal();
}

}  // namespace q7k
