#include "reply.h"

#include "link/le_bytes.h"
#include "link/message_buffer.h"

namespace q7k {
namespace emu {

Reply Reply::Ack(const std::vector<uint8_t>& data) {
  Reply r;
  r.payload.push_back(kAck);
  r.payload.insert(r.payload.end(), data.begin(), data.end());
  return r;
}

Reply Reply::Nak(int16_t number, const std::vector<uint8_t>& details) {
  Reply r;
  ByteWriter w(&r.payload);
  w.U8(kNak);
  w.I16(number);
  w.Bytes(details.data(), details.size());
  return r;
}

Reply Reply::BadParameter(int16_t parameter) {
  std::vector<uint8_t> details;
  ByteWriter(&details).I16(parameter);
  return Nak(kInstrumentBadParameter, details);
}

int16_t Reply::ErrorNumber() const {
  if (payload.size() < 3 || payload[0] != kNak) return 0;
  return static_cast<int16_t>(payload[1] | (payload[2] << 8));
}

std::vector<uint8_t> BuildReplyFrame(uint16_t command,
                                     const std::vector<uint8_t>& payload) {
  // The frame is assembled in the library's own buffer so both sides share
  // one definition of the checksum.
  MessageBuffer frame(static_cast<uint32_t>(payload.size() + kFrameOverhead));
  std::vector<uint8_t> header;
  ByteWriter w(&header);
  w.U16(0);
  w.U16(ReplyNumber(command));
  w.U16(static_cast<uint16_t>(payload.size()));
  frame.PutBytes(header.data(), static_cast<uint32_t>(header.size()));
  frame.PutBytes(payload.data(), static_cast<uint32_t>(payload.size()));
  uint16_t sum = static_cast<uint16_t>(frame.ByteSum(frame.writePos()));
  std::vector<uint8_t> out(frame.data(), frame.data() + frame.writePos());
  ByteWriter(&out).U16(sum);
  return out;
}

}  // namespace emu
}  // namespace q7k
