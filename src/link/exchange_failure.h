// How a failed exchange reaches the error record, shared by every
// Transactor so an in-process instrument records exactly what the link does.
#ifndef Q7K_LINK_EXCHANGE_FAILURE_H_
#define Q7K_LINK_EXCHANGE_FAILURE_H_

#include <cstdint>

#include "link/error_reporter.h"
#include "link/message_buffer.h"

namespace q7k {

// Records the failure of an exchange: a reply that VerifyReply found
// negative as the instrument's error number with its detail bytes; any other
// failure as the code of link error number code, with text messageId. reply
// is null when nothing came back.
void RecordExchangeFailure(ErrorReporter* errors, int32_t code,
                           const MessageBuffer* reply, int32_t messageId);

// The catalogue text id of a message-layer failure (time-out, bad reply,
// loopback), or 0 when code is none of them.
int32_t MessageErrorId(int32_t code);

}  // namespace q7k

#endif  // Q7K_LINK_EXCHANGE_FAILURE_H_
