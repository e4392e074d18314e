// LinkErrorNumber: the error numbers of the link and the serial port. A link
// failure is recorded as the code LinkErrorCode gives (error_codes.h).
#ifndef Q7K_LINK_LINK_ERRORS_H_
#define Q7K_LINK_LINK_ERRORS_H_

#include <cstdint>

namespace q7k {

enum LinkError : int32_t {
  kLinkOk = 0,
  kLinkTimeout = -33,    // no complete reply within the time-out
  kLinkTooLong = -35,    // reply longer than the buffers
  kLinkBadNumber = -37,  // unknown command, or wrong reply number
  kLinkBadChecksum = -38,
  kLinkBadLength = -39,
  kLinkBadAckNak = -40,
  kLinkLoopbackMismatch = -41,
  kLinkLoopbackMissing = -42,
  kPortBadStopBits = -95,
  kPortBadDataBits = -96,
  kPortBadParity = -97,
  kPortShortTransfer = -98,  // short Read, overfull Write, empty ReadByte
  kPortNotSupported = -99,
  kPortHandshakeInUse = -195,  // DTR/RTS set by hand under handshake
  kPortSettingsFailed = -196,
  kPortOsError = -197,
  kPortNotFound = -198,
  kPortInUse = -199,
};

// True for the numbers the port answers for, texts included: 0 and above,
// and the two bands its own failures lie in; the message layer has the rest.
constexpr bool IsPortErrorNumber(int32_t n) {
  return n >= kLinkOk || (n >= -200 && n <= kPortHandshakeInUse) ||
         (n >= -100 && n <= kPortBadStopBits);
}

}  // namespace q7k

#endif  // Q7K_LINK_LINK_ERRORS_H_
