#include "link/exchange_failure.h"

#include "link/error_codes.h"
#include "link/link_errors.h"
#include "resources/string_ids.h"

namespace q7k {

void RecordExchangeFailure(ErrorReporter* errors, int32_t code,
                           const MessageBuffer* reply, int32_t messageId) {
  if (reply == nullptr || !reply->negative()) {
    errors->SetCode(LinkErrorCode(code), messageId);
    return;
  }
  // The instrument's number, whatever its sign, is no link error.
  errors->RecordInstrumentError(reply->nakNumber(), reply->NakDetails(),
                                reply->NakDetailCount());
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
