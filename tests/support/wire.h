// The tests' own encoder of the instrument's wire format, written apart from
// the library's on purpose: what the library sends and decodes is checked
// against it, never against itself. Frames are 00 00, a 16-bit number
// (command, or its two's complement in a reply), a 16-bit payload length,
// the payload, and a 16-bit sum of all bytes before it; all little-endian.
// On the line a frame travels as DLE STX, its bytes with DLE doubled, DLE
// ETX.
#ifndef Q7K_TESTS_SUPPORT_WIRE_H_
#define Q7K_TESTS_SUPPORT_WIRE_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace q7k {

using Bytes = std::vector<uint8_t>;

Bytes Le16(uint16_t v);
Bytes Le32(uint32_t v);
Bytes LeF32(float f);
Bytes Concat(std::initializer_list<Bytes> parts);
// Little-endian values at b[at]; throws when b is too short.
uint16_t Get16(const Bytes& b, size_t at);
uint32_t Get32(const Bytes& b, size_t at);
float GetF(const Bytes& b, size_t at);

Bytes RequestFrame(uint16_t command, const Bytes& payload);
// frame with its checksum field recomputed, after a test changed it.
Bytes WithChecksum(Bytes frame);
// A reply frame to command; payload starts with ACK (06) or NAK (15).
Bytes ReplyFrame(uint16_t command, const Bytes& payload);
Bytes AckFrame(uint16_t command, const Bytes& data = {});
Bytes NakFrame(uint16_t command, int16_t number, const Bytes& details = {});
// The line encoding of a frame.
Bytes LineBytes(const Bytes& frame);
// Takes the first whole frame in line (bytes before its DLE STX skipped)
// into frame; returns the index just past its DLE ETX, 0 when incomplete.
size_t TakeFrame(const Bytes& line, Bytes* frame);
// The frame inside one line-encoded reply.
Bytes Decode(const Bytes& line);

// A reply frame taken apart.
struct Frame {
  uint16_t number = 0;
  Bytes payload;

  bool Ack() const { return !payload.empty() && payload[0] == 0x06; }
  // The NAK's error number, -1000 when the reply is no NAK.
  int NakNumber() const;
};
Frame Parse(const Bytes& frame);

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_WIRE_H_
