#include "support/in_process_instrument.h"

#include "link/exchange_failure.h"
#include "link/line_codec.h"
#include "link/link_errors.h"
#include "resources/string_ids.h"

namespace q7k {

bool InProcessInstrument::Transmit(uint16_t command, const uint8_t* payload,
                                   size_t size, MessageBuffer* reply) {
  return SendOnly(command, payload, size) && ReceiveOnly(command, reply);
}

bool InProcessInstrument::SendOnly(uint16_t command, const uint8_t* payload,
                                   size_t size) {
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

bool InProcessInstrument::ReceiveOnly(uint16_t command, MessageBuffer* reply) {
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

int32_t InProcessInstrument::ErrorMessageId(int32_t code) {
  const int32_t id = MessageErrorId(code);
  return id != 0 ? id : ids::kUndefinedError;
}

bool InProcessInstrument::Fail(int32_t code, const MessageBuffer* reply) {
  RecordExchangeFailure(errors_, code, reply, ErrorMessageId(code));
  return false;
}

}  // namespace q7k
