// The catalogue text of each link error number, apart from the classes'
// other code: a reader of recorded codes (q7k decode) links these alone,
// without a port and its threads.
#include "link/comm_port.h"
#include "link/exchange_failure.h"
#include "link/instrument_link.h"
#include "link/link_errors.h"
#include "link/serial_device.h"
#include "resources/string_ids.h"

namespace q7k {

int32_t SerialDevice::StatusMessageId(int32_t code) {
  switch (code) {
    case kLinkOk:
      return ids::kNoErrors;
    case kPortBadStopBits:
      return ids::kIllegalStopBits;
    case kPortBadDataBits:
      return ids::kIllegalWordLength;
    case kPortBadParity:
      return ids::kIllegalParity;
    case kPortShortTransfer:
      return ids::kTimedOut;
    case kPortNotSupported:
      return ids::kNotSupported;
    case kPortNotFound:
      return ids::kPortNotFound;
    case kPortInUse:
      return ids::kPortInUse;
    default:
      return ids::kUndefinedError;
  }
}

int32_t CommPort::StatusMessageId(int32_t code) {
  switch (code) {
    case kPortHandshakeInUse:
      return ids::kHandshakeInUse;
    case kPortSettingsFailed:
      return ids::kPortSettingsFailed;
    case kPortOsError:
      return ids::kOsError;
    default:
      break;
  }
  if ((code >= -200 && code <= -198) || (code >= -100 && code <= -95) ||
      code >= 0) {
    return SerialDevice::StatusMessageId(code);
  }
  return ids::kUndefinedError;
}

int32_t InstrumentLink::CodeMessageId(int32_t code) {
  if (const int32_t id = MessageErrorId(code); id != 0) return id;
  if (IsPortErrorNumber(code)) return CommPort::StatusMessageId(code);
  return ids::kUndefinedError;
}

}  // namespace q7k
