// MessageBuffer: one request or reply frame of the instrument protocol.
//
// Frame layout (all 16-bit fields little-endian), payload length N, N + 8
// bytes in all:
//
//   offset 0      2 bytes  lead bytes, 00 00 in requests, not examined in
//                          replies
//   offset 2      2 bytes  message number: the command code in a request; its
//                          two's complement (mod 0x10000) in the reply
//   offset 4      2 bytes  payload length N (signed in replies)
//   offset 6      N bytes  payload; a reply's first byte is ACK (0x06) or NAK
//                          (0x15); after a NAK a signed 16-bit error number
//                          and optional detail bytes follow
//   offset 6 + N  2 bytes  checksum: low 16 bits of the sum of the N + 6
//                          bytes before it, each an unsigned byte
//
// Unlike the bare frame store it models, the buffer never writes past its
// capacity: appends that would not fit are refused, and every reader stays
// inside the valid bytes.
//
// Thread safety: none; a buffer lives for one transaction on one thread.
#ifndef Q7K_LINK_MESSAGE_BUFFER_H_
#define Q7K_LINK_MESSAGE_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace q7k {

inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint32_t kFrameCapacity = 300;  // every buffer's capacity
inline constexpr uint32_t kFrameOverhead = 8;    // header + checksum
inline constexpr int32_t kVariableLength = 0xFFFF;

// Request payload length of command: 0..292, kVariableLength when the caller's
// payload starts with a 16-bit length word, or -1 for a command that is not in
// the tables (one-byte commands 0x0000..0x0016, two-byte 0x7E00..0x7E1A).
int32_t RequestPayloadLength(uint16_t command);

// The message number a reply to command carries.
inline uint16_t ReplyNumber(uint16_t command) {
  return static_cast<uint16_t>(0x10000u - command);
}

class MessageBuffer {
 public:
  // All bytes zero, plus two spare zero bytes behind the capacity so a frame
  // can be read as zero-terminated text.
  explicit MessageBuffer(uint32_t capacity = kFrameCapacity);

  // Append at writePos; false (nothing stored) when it would not fit.
  bool PutByte(uint8_t b);
  bool PutBytes(const uint8_t* source, uint32_t count);

  // Appends a complete request frame and sets length. payload holds
  // payloadSize bytes (may be null when 0). Returns 0; -37 (kLinkBadNumber)
  // for a command not in the tables, nothing appended; -35 (kLinkTooLong),
  // nothing appended, when the frame would not fit or payloadSize is short
  // of the length the command needs.
  // REQUIRES: writePos() == 0.
  int32_t BuildFrame(uint16_t command, const uint8_t* payload,
                     size_t payloadSize);

  // What VerifyReply found: 0 for ACK, the NAK's sign-extended error number,
  // or a link error; a failing header check also gives the plain trace line
  // that describes it (the caller decides whether to log it).
  struct Verdict {
    int32_t result = 0;
    std::string traceLine;
  };

  // Checks a received reply placed with SetFrame against expectedNumber, in
  // this order: checksum (-38), length field (-39), message number (-37),
  // ACK/NAK byte (-40); only the first three give a trace line. A frame
  // shorter than 2 bytes fails as -39 without reading outside it.
  Verdict VerifyReply();

  // True once VerifyReply has found a negative acknowledgement (until the
  // next SetFrame or VerifyReply); its error number is nakNumber() and its
  // detail bytes, which may be none, NakDetails() and NakDetailCount().
  bool negative() const { return negative_; }
  int16_t nakNumber() const { return nakNumber_; }
  const uint8_t* NakDetails() const;
  size_t NakDetailCount() const;

  // Copies a decoded frame into the buffer: length = count, cursor = 0.
  // False (buffer unchanged) when count exceeds the capacity.
  bool SetFrame(const uint8_t* bytes, uint32_t count);

  // Reply data after a successful VerifyReply (or the NAK details).
  const uint8_t* Payload() const { return data_.data() + cursor_; }
  // length - cursor - 2: reply data bytes, the checksum excluded; never
  // negative.
  int32_t PayloadRemaining() const;

  // Sum of the first count bytes (0 when count < 1; count is clamped to the
  // bytes held).
  uint32_t ByteSum(int32_t count) const;

  // Header readers; 0 when the frame is too short to hold the field.
  uint16_t MessageNumber() const;
  int16_t LengthField() const;
  uint16_t ChecksumField() const;

  const uint8_t* data() const { return data_.data(); }
  uint32_t capacity() const { return capacity_; }
  uint32_t length() const { return length_; }
  uint32_t writePos() const { return writePos_; }
  uint32_t cursor() const { return cursor_; }
  // Used by frames sent without the header (the loopback text).
  void set_length(uint32_t length);

  uint16_t expectedNumber = 0;

 private:
  uint32_t capacity_;
  std::vector<uint8_t> data_;
  uint32_t writePos_ = 0;
  uint32_t length_ = 0;
  uint32_t cursor_ = 0;
  bool negative_ = false;
  int16_t nakNumber_ = 0;
};

}  // namespace q7k

#endif  // Q7K_LINK_MESSAGE_BUFFER_H_
