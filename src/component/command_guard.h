// The component's side of the command-method guard: the channel does the
// exchange and the length-checked decode, the component adds the failure
// tail. A method with a simulated path takes it before calling Command.
#ifndef Q7K_COMPONENT_COMMAND_GUARD_H_
#define Q7K_COMPONENT_COMMAND_GUARD_H_

#include "component/q7k_comm_object.h"
#include "link/command_channel.h"

namespace q7k {

inline CommandChannel Q7kCommObject::channel() {
  return CommandChannel(transactor(), errorState_.get());
}

template <typename Decode>
HRESULT Q7kCommObject::DecodeReply(const MessageBuffer& reply,
                                   size_t replyBytes, Decode decode) {
  return channel().DecodeReply(reply, replyBytes, decode) ? S_OK
                                                          : ReportFailure();
}

template <typename Decode>
HRESULT Q7kCommObject::Command(uint16_t command, const uint8_t* payload,
                               size_t size, size_t replyBytes, Decode decode) {
  return channel().Exchange(command, payload, size, replyBytes, decode)
             ? S_OK
             : ReportFailure();
}

inline HRESULT Q7kCommObject::Command(uint16_t command, const uint8_t* payload,
                                      size_t size) {
  return channel().Exchange(command, payload, size) ? S_OK : ReportFailure();
}

}  // namespace q7k

#endif  // Q7K_COMPONENT_COMMAND_GUARD_H_
