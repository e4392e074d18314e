// An instrument in the test's own process, standing where the port's link
// would: a Transactor that hands each request to a script and verifies the
// script's line bytes as the link verifies a reply, recording failures the
// same way. Component tests that are about what a command sends and how its
// reply is decoded use it, with no pseudo-terminal, threads or clock.
//
//   InProcessInstrument instrument(&errors, [](const Request& r) {
//     return LineBytes(AckFrame(r.command));
//   });
//
// An empty script answer is silence: the exchange fails as a time-out.
//
// Thread safety: none; one test thread.
#ifndef Q7K_TESTS_SUPPORT_IN_PROCESS_INSTRUMENT_H_
#define Q7K_TESTS_SUPPORT_IN_PROCESS_INSTRUMENT_H_

#include <vector>

#include "link/error_reporter.h"
#include "link/exchange_failure.h"
#include "link/line_codec.h"
#include "link/link_errors.h"
#include "link/transactor.h"
#include "resources/string_ids.h"
#include "support/scripted_instrument.h"

namespace q7k {

class InProcessInstrument : public Transactor {
 public:
  // REQUIRES: errors outlives the instrument.
  InProcessInstrument(ErrorReporter* errors, ScriptedInstrument::Script script)
      : errors_(errors), script_(std::move(script)) {}

  bool Transmit(uint16_t command, const uint8_t* payload, size_t size,
                MessageBuffer* reply) override {
    return SendOnly(command, payload, size) && ReceiveOnly(command, reply);
  }
  bool SendOnly(uint16_t command, const uint8_t* payload,
                size_t size) override {
    MessageBuffer frame;
    if (const int32_t r = frame.BuildFrame(command, payload, size); r != 0) {
      return Fail(r, nullptr);
    }
    Request request;
    request.command = command;
    if (size > 0) request.payload.assign(payload, payload + size);
    request.frame.assign(frame.data(), frame.data() + frame.length());
    requests_.push_back(request);
    answer_ = script_(request);
    return true;
  }
  bool ReceiveOnly(uint16_t command, MessageBuffer* reply) override {
    LineDecoder decoder;
    const auto fed = decoder.Feed(answer_.data(), answer_.size());
    answer_.clear();
    if (fed == LineDecoder::kTooLong) return Fail(kLinkTooLong, nullptr);
    if (fed != LineDecoder::kComplete) return Fail(kLinkTimeout, nullptr);
    if (!reply->SetFrame(decoder.frame(),
                         static_cast<uint32_t>(decoder.count()))) {
      return Fail(kLinkTooLong, nullptr);
    }
    reply->expectedNumber = ReplyNumber(command);
    const int32_t r = reply->VerifyReply().result;
    return r == 0 || Fail(r, reply);
  }
  // Nothing on a line to echo the text.
  bool RunLoopback() override { return Fail(kLinkLoopbackMissing, nullptr); }
  void SetReplyTimeout(int32_t ms) override { timeouts_.push_back(ms); }
  int32_t ErrorMessageId(int32_t code) override {
    const int32_t id = MessageErrorId(code);
    return id != 0 ? id : ids::kUndefinedError;
  }

  const std::vector<Request>& requests() const { return requests_; }
  // Every reply time-out set, in order.
  const std::vector<int32_t>& timeouts() const { return timeouts_; }

 private:
  bool Fail(int32_t code, const MessageBuffer* reply) {
    RecordExchangeFailure(errors_, code, reply, ErrorMessageId(code));
    return false;
  }

  ErrorReporter* errors_;
  ScriptedInstrument::Script script_;
  Bytes answer_;  // the line bytes of the pending reply
  std::vector<Request> requests_;
  std::vector<int32_t> timeouts_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_IN_PROCESS_INSTRUMENT_H_
