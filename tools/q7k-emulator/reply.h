// Reply: the payload the virtual instrument answers one request with, and
// the frame around it.
//
// Reply payload layout (the frame's payload, offset 6 of the frame):
//   ACK:  06, then the reply data
//   NAK:  15, the error number (signed 16-bit), then optional detail bytes
//
// Thread safety: none; plain values.
#ifndef Q7K_EMULATOR_REPLY_H_
#define Q7K_EMULATOR_REPLY_H_

#include <cstdint>
#include <vector>

#include "link/error_codes.h"

namespace q7k {
namespace emu {

// One reply payload, ACK or NAK.
struct Reply {
  std::vector<uint8_t> payload;

  static Reply Ack(const std::vector<uint8_t>& data = {});
  static Reply Nak(int16_t number, const std::vector<uint8_t>& details = {});
  // NAK 13 with the parameter number: the offending request field, counted
  // from 1 in the order the request lays its fields out.
  static Reply BadParameter(int16_t parameter);

  bool IsAck() const { return !payload.empty() && payload[0] == 0x06; }
  // The NAK's error number; 0 for an ACK.
  int16_t ErrorNumber() const;
};

// The reply frame for command: 00 00, the reply number, the payload length,
// the payload, the checksum. The frame may exceed the 300 bytes a host
// buffer holds (the oversize fault relies on that).
std::vector<uint8_t> BuildReplyFrame(uint16_t command,
                                     const std::vector<uint8_t>& payload);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_REPLY_H_
