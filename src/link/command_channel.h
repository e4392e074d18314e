// CommandChannel: what a command method needs to talk to the instrument for
// one call: the transactor (null while no port is open) and the error record.
// The component hands one to each subsystem call, so subsystems never see the
// component object.
//
// Exchange is the one guard every command runs: link check, Transmit, a
// length check against the layout the caller decodes, the decode. A false
// return means the failure is recorded (or, without a link, that the caller
// has nothing new to report); the caller then runs its failure tail.
//
// Thread safety: none; used on the client's thread for one call.
#ifndef Q7K_LINK_COMMAND_CHANNEL_H_
#define Q7K_LINK_COMMAND_CHANNEL_H_

#include <cstddef>
#include <cstdint>

#include "link/error_codes.h"
#include "link/error_reporter.h"
#include "link/link_errors.h"
#include "link/message_buffer.h"
#include "link/transactor.h"
#include "log/trace_log.h"
#include "platform/codepage.h"

namespace q7k {

class CommandChannel {
 public:
  // REQUIRES: errors is not null; both outlive the channel.
  CommandChannel(Transactor* link, ErrorReporter* errors)
      : link_(link), errors_(errors) {}

  Transactor* link() const { return link_; }
  ErrorReporter& errors() const { return *errors_; }

  // Sends command with payload and hands the verified reply's data to
  // decode(data, n), n >= replyBytes. decode returns false when the data are
  // short of the layout it reads (it must write nothing then). A reply
  // without a frame succeeds with nothing decoded (Transactor's contract).
  template <typename Decode>
  bool Exchange(uint16_t command, const uint8_t* payload, size_t size,
                size_t replyBytes, Decode decode) const {
    if (link_ == nullptr) return false;
    MessageBuffer reply;
    if (!link_->Transmit(command, payload, size, &reply)) return false;
    return DecodeReply(reply, replyBytes, decode);
  }
  // A command whose reply carries nothing to decode.
  bool Exchange(uint16_t command, const uint8_t* payload = nullptr,
                size_t size = 0) const {
    return Exchange(command, payload, size, 0,
                    [](const uint8_t*, size_t) { return true; });
  }

  // The reply half of Exchange, for replies fetched with ReceiveOnly.
  template <typename Decode>
  bool DecodeReply(const MessageBuffer& reply, size_t replyBytes,
                   Decode decode) const {
    if (reply.length() == 0) return true;
    const auto n = static_cast<size_t>(reply.PayloadRemaining());
    if (n >= replyBytes && decode(reply.Payload(), n)) return true;
    // A reply shorter than its layout must not be read past its end.
    errors_->SetCode(LinkErrorCode(kLinkBadLength),
                     link_->ErrorMessageId(kLinkBadLength));
    const std::string label = WideToAnsi(errors_->message());
    TraceExchange(reply.data(), reply.length(),
                  static_cast<int16_t>(errors_->code()), false, label.c_str());
    return false;
  }

 private:
  Transactor* link_;
  ErrorReporter* errors_;
};

}  // namespace q7k

#endif  // Q7K_LINK_COMMAND_CHANNEL_H_
