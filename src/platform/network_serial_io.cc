#include "platform/network_serial_io.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/clock.h"

namespace q7k {

int64_t NetworkNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             CurrentClock().Now().time_since_epoch())
      .count();
}

int32_t NetworkRemainingMs(int64_t deadlineMs) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(deadlineMs - NetworkNowMs(), 0, 60000));
}

namespace {

using namespace telnet;

constexpr size_t kReceiveBlock = 1024;
// Data kept while a settings call waits for its answer; beyond this the
// oldest bytes go, counted as an input overflow like a full UART buffer's.
constexpr size_t kMaxKept = 64 * 1024;
// Quiet periods waited for at most after connecting.
constexpr int kMaxSettleRounds = 20;
// The last bytes before a close at open, enough for a server's reason.
constexpr size_t kFarewellBytes = 64;

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

NetworkSerialIo::~NetworkSerialIo() = default;

uint32_t NetworkSerialIo::Open(const PortUrl& url) {
  if (dataBell_.Error() != 0) return dataBell_.Error();
  if (answerBell_.Error() != 0) return answerBell_.Error();
  if (txBell_.Error() != 0) return txBell_.Error();
  control_ = url.comPortControl;
  const int64_t deadline = NetworkNowMs() + kNetworkAnswerTimeoutMs;
  if (const uint32_t error = socket_.Connect(url, deadline)) return error;
  if (control_) {
    if (const uint32_t error = Negotiate()) return error;
  }
  return DropStaleInput();
}

uint32_t NetworkSerialIo::DropStaleInput() {
  if (control_) {
    const uint8_t which = kPurgeReceive;
    SendComPort(kPurgeData, &which, 1);
    // In the stream everything old comes before the acknowledgement.
    AwaitAnswers(Bit(kPurgeData), NetworkNowMs() + kNetworkSettleMs);
  }
  // A server that holds what the device said until the line is quiet
  // keeps it through a purge and sends it a few milliseconds later, and a
  // raw stream has no purge: the connection must be quiet for a moment.
  // Bounded, so a device that never stops talking cannot hold the open.
  for (int round = 0; round < kMaxSettleRounds; ++round) {
    {
      std::lock_guard<std::mutex> lock(rxMutex_);
      PumpLocked();
      // A raw server turning a second client away says so and closes, the
      // two perhaps in different rounds: the words are kept till the end.
      if (rxError_ != 0) return ClosedDuringOpenLocked();
      if (kept_.size() > kFarewellBytes) {
        kept_.erase(kept_.begin(), kept_.end() - kFarewellBytes);
      }
    }
    const SocketReady ready =
        socket_.Wait(kWaitReadable, &answerBell_, nullptr, kNetworkSettleMs);
    if (ready.signalled[0]) answerBell_.Drain();
    if (ready.timedOut) break;  // quiet for the whole settle time
  }
  std::lock_guard<std::mutex> lock(rxMutex_);
  PumpLocked();
  if (rxError_ != 0) return ClosedDuringOpenLocked();
  kept_.clear();
  return 0;
}

uint32_t NetworkSerialIo::Negotiate() {
  std::vector<uint8_t> hello;
  for (const auto& [verb, option] :
       {std::pair{kWill, kComPort}, {kWill, kBinary}, {kDo, kBinary}}) {
    AppendTelnetNegotiation(verb, option, &hello);
    Mark(verb == kWill ? sentWill_ : sentDo_, option);
  }
  if (const uint32_t error = SendCommands(hello)) return error;
  const int64_t deadline = NetworkNowMs() + kNetworkAnswerTimeoutMs;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(rxMutex_);
      PumpLocked();
      if (rxError_ != 0) return ClosedDuringOpenLocked();
      if (comPortRefused_) return kNetNoComPort;
      if (comPortAgreed_) break;
    }
    if (const uint32_t error = AwaitReadable(deadline)) return error;
  }
  // A value of 0 asks for the current setting: the answers are the line
  // format the device has, and a server busy with another client shows
  // itself here.
  const uint8_t zero[4] = {};
  SendComPort(kSetBaudRate, zero, 4);
  for (const uint8_t code : {kSetDataSize, kSetParity, kSetStopSize}) {
    SendComPort(code, zero, 1);
  }
  // A server tells of line errors only for the bits asked for, and none
  // are asked for until the client says so.
  const uint8_t lineErrors =
      kLineOverrun | kLineParity | kLineFraming | kLineBreak;
  SendComPort(kSetLineStateMask, &lineErrors, 1);
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
  if (said.find("in use") != std::string_view::npos) return kNetBusy;
  return rxError_ == kNetClosed ? kNetReset : rxError_;
}

uint32_t NetworkSerialIo::AwaitReadable(int64_t deadlineMs) {
  for (;;) {
    const SocketReady ready = socket_.Wait(kWaitReadable, &answerBell_, nullptr,
                                           NetworkRemainingMs(deadlineMs));
    if (ready.signalled[0]) answerBell_.Drain();
    if (ready.error != 0 && !ready.hangup) return ready.error;
    if (ready.readable || ready.hangup || ready.signalled[0]) return 0;
    // Only the wait's own time-out ends it (whatever a test's clock says):
    // Winsock also wakes a waiter when the socket turns writable.
    if (ready.timedOut) return kNetTimedOut;
  }
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
    if (const uint32_t error = AwaitReadable(deadlineMs)) return error;
  }
}

void NetworkSerialIo::PumpLocked() {
  uint8_t block[kReceiveBlock];
  const size_t before = kept_.size();
  // Bounded, so a server that never stops sending cannot keep the lock.
  for (size_t round = 0; rxError_ == 0 && round < kMaxKept / kReceiveBlock;
       ++round) {
    uint32_t error = 0;
    const int32_t got = socket_.Receive(block, sizeof block, &error);
    if (got > 0 && !control_) {
      kept_.insert(kept_.end(), block, block + got);
    } else if (got > 0) {
      decoder_.Feed(block, static_cast<size_t>(got), &kept_, this);
    }
    if (got > 0) continue;
    if (got == 0) break;
    rxError_ = error;
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

  const uint32_t error =
      AwaitAnswers(mask, NetworkNowMs() + kNetworkAnswerTimeoutMs);
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
    return kNetFormatRefused;
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
    uint32_t failure = 0;
    const int32_t got =
        socket_.Receive(buffer, std::min(n, kReceiveBlock), &failure);
    if (got > 0 && !control_) return got;
    if (got > 0) {
      scratch_.clear();
      decoder_.Feed(buffer, static_cast<size_t>(got), &scratch_, this);
      std::copy(scratch_.begin(), scratch_.end(), buffer);
      return static_cast<int32_t>(scratch_.size());
    }
    if (got == 0) return 0;
    rxError_ = failure;
  }
  *error = rxError_;
  return -1;
}

uint32_t NetworkSerialIo::FlushLocked() {
  while (!txPending_.empty()) {
    uint32_t error = 0;
    const int32_t put =
        socket_.Send(txPending_.data(), txPending_.size(), &error);
    if (put > 0) {
      txPending_.erase(txPending_.begin(), txPending_.begin() + put);
      continue;
    }
    return put < 0 ? error : 0;
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
  const int32_t put = socket_.Send(txScratch_.data(), txScratch_.size(), error);
  if (put <= 0) return put;
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
  const int64_t deadline = NetworkNowMs() + kNetworkAnswerTimeoutMs;
  for (;;) {
    if (const uint32_t error = FlushLocked()) return error;
    if (txPending_.empty()) return 0;
    const SocketReady ready = socket_.Wait(kWaitWritable, &txBell_, nullptr,
                                           NetworkRemainingMs(deadline));
    if (ready.signalled[0]) txBell_.Drain();
    if (ready.error != 0 && !ready.hangup) return ready.error;
    if (!ready.writable && !ready.hangup && !ready.signalled[0]) {
      return kNetTimedOut;
    }
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
  const SocketReady ready =
      socket_.Wait(interest, &wake, reading ? &dataBell_ : nullptr, timeoutMs);
  result.woken = ready.signalled[0];
  result.readable = ready.readable;
  result.writable = ready.writable;
  result.hangup = ready.hangup;
  result.error = ready.error;
  if (ready.signalled[1]) {
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
    case kPurgeData:
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
