#include "link/instrument_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "link/error_reporter.h"
#include "link/exchange_failure.h"
#include "link/link_errors.h"
#include "log/trace_log.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/message_pump.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

constexpr milliseconds kPumpInterval{10};
constexpr size_t kMaxPending = LineDecoder::kBufferSize;

// The link, not the buffer, decides where a failed check is written.
int32_t VerifyReply(MessageBuffer* reply) {
  const MessageBuffer::Verdict verdict = reply->VerifyReply();
  if (!verdict.traceLine.empty()) TraceLine(verdict.traceLine.c_str(), false);
  return verdict.result;
}

int64_t ElapsedMs(Clock::TimePoint start) {
  return std::chrono::duration_cast<milliseconds>(CurrentClock().Now() - start)
      .count();
}

// The client thread moves the bytes itself unless a message pump must run
// while it waits, or the clock is one a device wait cannot keep.
bool UseClientThreadPath() {
  return !HasMessagePump() && CurrentClock().RunsInRealTime();
}

}  // namespace

InstrumentLink::InstrumentLink(ErrorReporter* errors,
                               const std::string& portName,
                               const PortSettings& settings)
    : CommPort(ThreadStart::kWhenNeeded, portName, settings), errors_(errors) {}

// The port's threads call virtual hooks: stopped before this object is torn
// down.
InstrumentLink::~InstrumentLink() { StopThreads(); }

void InstrumentLink::PumpMessages() { RunMessagePump(); }

void InstrumentLink::Wait(uint32_t milliseconds_, bool pump) {
  if (milliseconds_ == 0) return;
  Clock& clock = CurrentClock();
  const auto deadline = clock.After(milliseconds(milliseconds_));
  if (!pump || !HasMessagePump()) {
    clock.SleepUntil(deadline);
    return;
  }
  for (;;) {
    PumpMessages();
    const auto now = clock.Now();
    if (now >= deadline) return;
    clock.SleepUntil(std::min(deadline, now + kPumpInterval));
  }
}

std::string InstrumentLink::ErrorLabel() const {
  return WideToAnsi(errors_->message());
}

bool InstrumentLink::Transmit(uint16_t command, const uint8_t* payload,
                              size_t payloadSize, MessageBuffer* reply) {
  if (trace) commandTrace_.Write(command, CommandTrace::kTransmit);
  MessageBuffer request;
  reply->expectedNumber = ReplyNumber(command);
  int32_t r = request.BuildFrame(command, payload, payloadSize);
  if (r == 0) r = SendFrame(request.data(), request.length());
  const bool sendFailed = r != 0;
  if (r == 0) {
    r = ReceiveFrame(reply);
    if (r == 0) r = VerifyReply(reply);
    if (r == 0) return true;
  }
  RecordExchangeFailure(errors_, r, sendFailed ? nullptr : reply,
                        ErrorMessageId(r));
  RecordFailureInSession(command, r);
  const std::string label = ErrorLabel();
  const auto code = static_cast<int16_t>(errors_->code());
  if (sendFailed) {
    TraceExchange(request.data(), request.length(), code, true, label.c_str());
  } else {
    TraceExchange(request.data(), request.length(), code, true, "Transmit");
    TraceExchange(reply->data(), reply->length(), code, false, label.c_str());
  }
  return false;
}

bool InstrumentLink::SendOnly(uint16_t command, const uint8_t* payload,
                              size_t payloadSize) {
  if (trace) commandTrace_.Write(command, CommandTrace::kSendOnly);
  MessageBuffer request;
  int32_t r = request.BuildFrame(command, payload, payloadSize);
  if (r == 0) r = SendFrame(request.data(), request.length());
  if (r == 0) return true;
  RecordExchangeFailure(errors_, r, nullptr, ErrorMessageId(r));
  RecordFailureInSession(command, r);
  const std::string label = ErrorLabel();
  TraceExchange(request.data(), request.length(),
                static_cast<int16_t>(errors_->code()), true, label.c_str());
  return false;
}

bool InstrumentLink::ReceiveOnly(uint16_t command, MessageBuffer* reply) {
  if (trace) commandTrace_.Write(command, CommandTrace::kReceiveOnly);
  reply->expectedNumber = ReplyNumber(command);
  int32_t r = ReceiveFrame(reply);
  if (r == 0) r = VerifyReply(reply);
  if (r == 0) return true;
  RecordExchangeFailure(errors_, r, reply, ErrorMessageId(r));
  RecordFailureInSession(command, r);
  const std::string label = ErrorLabel();
  TraceExchange(reply->data(), reply->length(),
                static_cast<int16_t>(errors_->code()), false, label.c_str());
  return false;
}

bool InstrumentLink::RunLoopback() {
  MessageBuffer sent;
  const uint32_t n = sizeof kLoopbackText - 1;
  sent.PutBytes(reinterpret_cast<const uint8_t*>(kLoopbackText), n);
  sent.set_length(n);
  int32_t r = SendFrame(sent.data(), sent.length());
  if (r == 0) {
    MessageBuffer received;
    r = ReceiveFrame(&received);
    if (r == 0) {
      // The spare zero bytes behind a buffer make its body a C string.
      const char* body = reinterpret_cast<const char*>(received.data());
      if (std::strcmp(body, kLoopbackText) != 0) r = kLinkLoopbackMismatch;
    }
    if (r == kLinkTimeout) r = kLinkLoopbackMissing;
  }
  if (r == 0) return true;
  RecordExchangeFailure(errors_, r, nullptr, ErrorMessageId(r));
  RecordFailureInSession(0, r);
  const std::string label = ErrorLabel();
  TraceExchange(sent.data(), sent.length(),
                static_cast<int16_t>(errors_->code()), true, label.c_str());
  return false;
}

void InstrumentLink::RecordFailureInSession(uint16_t command, int32_t code) {
  SessionRecorder* session = recorder();
  if (session == nullptr) return;
  if (code == kLinkTimeout || code == kLinkLoopbackMissing) {
    session->Timeout(command, waitedMs_);
  }
  session->ExchangeFailed(command, errors_ != nullptr ? errors_->code() : code);
}

int32_t InstrumentLink::SendFrame(const uint8_t* frame, size_t count) {
  uint8_t encoded[MaxEncodedSize(kFrameCapacity)];
  if (count > kFrameCapacity) return kLinkTooLong;
  const size_t n = EncodeLine(frame, count, encoded);
  // Whatever arrived before this request is stale: it must never be taken
  // as the answer. Purging here, before the bytes go out, cannot lose a
  // reply that comes back faster than a purge after the send would run.
  int32_t r = PurgeRx();
  if (r < 0) return r;
  r = UseClientThreadPath() ? WriteDirect(encoded, static_cast<int32_t>(n))
                            : Write(encoded, static_cast<int32_t>(n));
  if (r != 0) return r;
  // With a message pump, sleeps until the writer thread has taken every
  // byte, keeping the host's windows alive meanwhile. Without one there is
  // nothing to keep alive: the reply wait follows at once, and a writer
  // failure ends it as a port failure.
  while (HasMessagePump() && TxCount() > 0) {
    if (status() != 0) return status();
    PumpMessages();
    WaitTxDrained(kPumpInterval);
  }
  return status();
}

int32_t InstrumentLink::ReceiveFrame(MessageBuffer* reply) {
  decoder_.Reset();
  const auto start = CurrentClock().Now();
  const bool direct = UseClientThreadPath();
  uint8_t block[kMaxPending + 1];
  enum { kComplete, kTooLongOutcome, kPortFailure, kTimeoutOutcome } outcome;
  for (;;) {
    const PortTransfer got =
        direct ? ReadDirect(block, sizeof block, ReplyDeadline(start))
               : ReadQueued(block);
    if (got.failed()) {
      outcome = kPortFailure;
      break;
    }
    if (got.count > 0) {
      if (got.count > kMaxPending) {
        outcome = kTooLongOutcome;
        break;
      }
      const auto d = decoder_.Feed(block, got.count);
      if (d == LineDecoder::kComplete) {
        outcome = kComplete;
        break;
      }
      if (d == LineDecoder::kTooLong) {
        outcome = kTooLongOutcome;
        break;
      }
      continue;  // more may already be waiting
    }
    if (status() != 0) {  // a vanished device never sends more
      outcome = kPortFailure;
      break;
    }
    const int64_t elapsed = ElapsedMs(start);
    if (responseTimeout != kNoTimeout && elapsed > responseTimeout) {
      waitedMs_ = elapsed;
      outcome = kTimeoutOutcome;
      break;
    }
    if (!direct) {
      const int64_t left =
          responseTimeout == kNoTimeout ? 1000 : responseTimeout - elapsed + 1;
      WaitForRx(0, milliseconds(left));
    }
  }

  char line[80];
  const int frameCount = static_cast<int>(decoder_.count());
  switch (outcome) {
    case kComplete:
      // A reply longer than the reply buffer is as unusable as one longer
      // than the decoder's.
      if (reply->SetFrame(decoder_.frame(),
                          static_cast<uint32_t>(decoder_.count()))) {
        return 0;
      }
      [[fallthrough]];
    case kTooLongOutcome:
      std::snprintf(line, sizeof line, "MSGLEN Error<%d>[l=%d]", kLinkTooLong,
                    frameCount);
      TraceLine(line, false);
      return kLinkTooLong;
    case kPortFailure:
      std::snprintf(line, sizeof line, "COMM Error<%d>[l=%d]", status(),
                    frameCount);
      TraceLine(line, false);
      return status() != 0 ? status() : kPortOsError;
    case kTimeoutOutcome:
      break;
  }
  std::snprintf(line, sizeof line, "TIMEOUT Error<%d>[l=%d, to=%ld]",
                kLinkTimeout, frameCount, static_cast<long>(responseTimeout));
  TraceLine(line, false);
  return kLinkTimeout;
}

PortTransfer InstrumentLink::ReadQueued(uint8_t* block) {
  const size_t pending = static_cast<size_t>(RxCount());
  if (pending == 0 || pending > kMaxPending) return {pending, kLinkOk};
  return {pending, Read(block, static_cast<int32_t>(pending))};
}

Clock::TimePoint InstrumentLink::ReplyDeadline(Clock::TimePoint start) const {
  // One past the limit: the reply is late only once more than
  // responseTimeout ms have passed. Without a limit, the wait returns now
  // and then, as the queued path's does.
  if (responseTimeout == kNoTimeout) return CurrentClock().After(1000ms);
  return start + milliseconds(responseTimeout + 1);
}

int32_t InstrumentLink::ErrorMessageId(int32_t code) {
  return CodeMessageId(code);
}

}  // namespace q7k
