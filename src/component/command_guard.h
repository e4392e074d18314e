// The command-method guard, written once for every method that talks to the
// instrument: link check, Transmit, a length check against the layout the
// method decodes, the decode, and the failure tail.
//
// decode(payload, n) reads the reply's n data bytes (at least replyBytes) and
// returns false when they are short of the layout it reads; nothing must be
// written then.
//
// A method with a simulated path takes it before calling Command. With a
// link in simulation the transaction succeeds without a reply, so nothing is
// decoded.
#ifndef Q7K_COMPONENT_COMMAND_GUARD_H_
#define Q7K_COMPONENT_COMMAND_GUARD_H_

#include "component/q7k_comm_object.h"
#include "link/instrument_link.h"
#include "link/link_errors.h"
#include "log/trace_log.h"
#include "platform/codepage.h"

namespace q7k {

template <typename Decode>
HRESULT Q7kCommObject::DecodeReply(const MessageBuffer& reply,
                                   size_t replyBytes, Decode decode) {
  if (link_->simulation) return S_OK;
  const auto n = static_cast<size_t>(reply.PayloadRemaining());
  if (n < replyBytes || !decode(reply.Payload(), n)) {
    // A reply shorter than its layout must not be read past its end.
    errorState_->SetCode(100 - kLinkBadLength,
                         link_->ErrorMessageId(kLinkBadLength));
    const std::string label = WideToAnsi(errorState_->message());
    TraceExchange(reply.data(), reply.length(),
                  static_cast<int16_t>(errorState_->code()), false,
                  label.c_str());
    return ReportFailure();
  }
  return S_OK;
}

template <typename Decode>
HRESULT Q7kCommObject::Command(uint16_t command, const uint8_t* payload,
                               size_t size, size_t replyBytes, Decode decode) {
  if (!link_) return ReportFailure();
  MessageBuffer reply;
  if (!link_->Transmit(command, payload, size, &reply)) return ReportFailure();
  return DecodeReply(reply, replyBytes, decode);
}

inline HRESULT Q7kCommObject::Command(uint16_t command, const uint8_t* payload,
                                      size_t size) {
  return Command(command, payload, size, 0,
                 [](const uint8_t*, size_t) { return true; });
}

}  // namespace q7k

#endif  // Q7K_COMPONENT_COMMAND_GUARD_H_
