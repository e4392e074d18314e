#include "link/exchange_failure.h"

#include "link/line_codec.h"
#include "link/link_errors.h"
#include "resources/string_ids.h"

namespace q7k {

void RecordExchangeFailure(ErrorReporter* errors, int32_t code,
                           const MessageBuffer* reply, int32_t messageId) {
  // A NAK got past the header checks, so VerifyReply left its cursor on the
  // payload; only then is code the instrument's number, whatever its sign.
  const bool nak = reply != nullptr && reply->cursor() >= 6 &&
                   reply->length() > 6 && reply->data()[6] == kNak;
  if (!nak) {
    errors->SetCode(100 - code, messageId);
    return;
  }
  // Detail bytes exist only when the cursor moved past the error number.
  const bool details = reply->cursor() == 9;
  errors->RecordInstrumentError(
      code, reply->Payload(),
      details ? static_cast<size_t>(reply->PayloadRemaining()) : 0);
}

int32_t MessageErrorId(int32_t code) {
  switch (code) {
    case kLinkTimeout:
      return ids::kNoResponse;
    case kLinkBadNumber:
      return ids::kBadNumber;
    case kLinkBadChecksum:
      return ids::kBadChecksum;
    case kLinkBadLength:
      return ids::kBadLength;
    case kLinkBadAckNak:
      return ids::kBadAckNak;
    case kLinkLoopbackMismatch:
      return ids::kLoopbackMismatch;
    case kLinkLoopbackMissing:
      return ids::kLoopbackMissing;
    default:
      return 0;
  }
}

}  // namespace q7k
