// LinkErrorNumber: the error numbers of the link and the serial port. A link
// failure with number n is recorded as error code 100 - n.
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

}  // namespace q7k

#endif  // Q7K_LINK_LINK_ERRORS_H_
