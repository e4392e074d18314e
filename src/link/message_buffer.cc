#include "link/message_buffer.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "link/le_bytes.h"
#include "link/link_errors.h"

namespace q7k {
namespace {

constexpr int32_t kVar = kVariableLength;

// Request payload bytes of the one-byte commands 0x0000..0x0016, by low byte.
constexpr int32_t kOneByteLengths[] = {
    0,     // 0x0000 (never sent)
    0,     // 0x0001 application info
    0,     // 0x0002 power-on sequence
    32,    // 0x0003 test parameters
    22,    // 0x0004 runtime parameters
    0,     // 0x0005 start test
    4,     // 0x0006 test results
    0,     // 0x0007 stop test
    0,     // 0x0008 restart loader
    0,     // 0x0009 (never sent)
    20,    // 0x000A application parameters
    kVar,  // 0x000B download block
    0,     // 0x000C download complete
    0,     // 0x000D abort download
    32,    // 0x000E search for application
    2,     // 0x000F flash directory
    2,     // 0x0010 execute application
    2,     // 0x0011 delete application
    0,     // 0x0012 thermal data
    0,     // 0x0013 calibration info
    8,     // 0x0014 transformer boundary temperatures
    0,     // 0x0015 reference calibration coefficients
    4,     // 0x0016 test results (alternative)
};

// Request payload bytes of the two-byte commands 0x7E00..0x7E1A, by low byte.
constexpr int32_t kTwoByteLengths[] = {
    8,   // 0x7E00 register write
    4,   // 0x7E01 register read
    8,   // 0x7E02 register or
    8,   // 0x7E03 register and
    8,   // 0x7E04 EEPROM write int
    70,  // 0x7E05 EEPROM write 32
    6,   // 0x7E06 EEPROM read header / int
    6,   // 0x7E07 EEPROM read 32
    10,  // 0x7E08 EEPROM write long / float
    70,  // 0x7E09 EEPROM write float 16
    6,   // 0x7E0A EEPROM read long / float
    6,   // 0x7E0B EEPROM read float 16
    4,   // 0x7E0C EEPROM checksum
    2,   // 0x7E0D software verify
    14,  // 0x7E0E test waveform
    2,   // 0x7E0F guard calibration
    4,   // 0x7E10 reference calibration
    4,   // 0x7E11 system calibration
    24,  // 0x7E12 update reference calibration
    92,  // 0x7E13 update guard calibration
    86,  // 0x7E14 update system calibration
    0,   // 0x7E15 (never sent)
    2,   // 0x7E16 raw results
    2,   // 0x7E17 safety monitor
    0,   // 0x7E18 chip select test
    8,   // 0x7E19 continuous register write
    4,   // 0x7E1A continuous register read
};

static_assert(std::size(kOneByteLengths) == 0x17);
static_assert(std::size(kTwoByteLengths) == 0x1B);

// A NAK's payload: the NAK byte and the error number, then its details.
constexpr int32_t kNakPrefix = 3;
constexpr uint32_t kNakDetailsAt = 9;

// A failed reply check with the trace line that describes it.
template <typename... Args>
MessageBuffer::Verdict CheckFailure(int32_t result, const char* format,
                                    Args... args) {
  char line[96];
  std::snprintf(line, sizeof line, format, args...);
  return {result, line};
}

}  // namespace

int32_t RequestPayloadLength(uint16_t command) {
  const unsigned high = command >> 8;
  const unsigned low = command & 0xFF;
  if (high == 0 && low < std::size(kOneByteLengths)) {
    return kOneByteLengths[low] & 0xFFFF;
  }
  if (high == 0x7E && low < std::size(kTwoByteLengths)) {
    return kTwoByteLengths[low] & 0xFFFF;
  }
  return -1;
}

MessageBuffer::MessageBuffer(uint32_t capacity)
    : capacity_(capacity), data_(static_cast<size_t>(capacity) + 2, 0) {}

bool MessageBuffer::PutByte(uint8_t b) { return PutBytes(&b, 1); }

bool MessageBuffer::PutBytes(const uint8_t* source, uint32_t count) {
  if (count > capacity_ - writePos_) return false;
  if (count > 0) std::copy(source, source + count, data_.begin() + writePos_);
  writePos_ += count;
  return true;
}

int32_t MessageBuffer::BuildFrame(uint16_t command, const uint8_t* payload,
                                  size_t payloadSize) {
  int32_t payloadLength = RequestPayloadLength(command);
  if (payloadLength < 0) return kLinkBadNumber;
  if (payloadLength == kVariableLength) {
    if (payloadSize < 2) return kLinkTooLong;
    payloadLength = LoadU16(payload);
    payload += 2;
    payloadSize -= 2;
  }
  // Refused before anything is stored: a refused request leaves the buffer
  // empty and is never sent.
  const uint32_t frameLength = static_cast<uint32_t>(payloadLength) + 8;
  if (payloadSize < static_cast<size_t>(payloadLength) ||
      frameLength > capacity_ - writePos_) {
    return kLinkTooLong;
  }
  const uint8_t header[6] = {0x00,
                             0x00,
                             static_cast<uint8_t>(command),
                             static_cast<uint8_t>(command >> 8),
                             static_cast<uint8_t>(payloadLength),
                             static_cast<uint8_t>(payloadLength >> 8)};
  PutBytes(header, sizeof header);
  PutBytes(payload, static_cast<uint32_t>(payloadLength));
  length_ = frameLength;
  const uint32_t sum = ByteSum(payloadLength + 6);
  PutByte(static_cast<uint8_t>(sum));
  PutByte(static_cast<uint8_t>(sum >> 8));
  return kLinkOk;
}

MessageBuffer::Verdict MessageBuffer::VerifyReply() {
  negative_ = false;
  nakNumber_ = 0;
  const int32_t expectedLength = static_cast<int32_t>(length_) - 8;
  if (length_ < 2) {
    // No checksum field to compare: the frame is simply too short.
    return CheckFailure(kLinkBadLength, "Message Length Error[%u,%u]", 0u,
                        static_cast<unsigned>(expectedLength));
  }

  const uint16_t received = ChecksumField();
  const uint16_t computed =
      static_cast<uint16_t>(ByteSum(static_cast<int32_t>(length_) - 2));
  if (received != computed) {
    return CheckFailure(kLinkBadChecksum, "Message Checksum Error[%u,%u](l=%d)",
                        static_cast<unsigned>(received),
                        static_cast<unsigned>(computed),
                        static_cast<int>(length_));
  }

  // A length field the frame is too short to hold cannot match.
  if (length_ < 6 || LengthField() != expectedLength) {
    return CheckFailure(kLinkBadLength, "Message Length Error[%u,%u]",
                        static_cast<unsigned>(static_cast<int>(LengthField())),
                        static_cast<unsigned>(expectedLength));
  }

  if (MessageNumber() != expectedNumber) {
    return CheckFailure(kLinkBadNumber, "Message Number Error[%u,%u]",
                        static_cast<unsigned>(MessageNumber()),
                        static_cast<unsigned>(expectedNumber));
  }

  cursor_ = 6;
  // The ACK/NAK byte and a NAK's error number are payload bytes: a payload
  // too short to hold them is malformed rather than read from the checksum.
  const int32_t payloadLength = expectedLength;
  if (payloadLength < 1) return {kLinkBadAckNak, {}};
  switch (data_[6]) {
    case kAck:
      if (payloadLength > 1) cursor_ = 7;
      return {kLinkOk, {}};
    case kNak: {
      if (payloadLength < kNakPrefix) return {kLinkBadAckNak, {}};
      negative_ = true;
      nakNumber_ = LoadI16(&data_[7]);
      if (payloadLength > kNakPrefix) cursor_ = kNakDetailsAt;
      return {nakNumber_, {}};
    }
    default:
      return {kLinkBadAckNak, {}};
  }
}

bool MessageBuffer::SetFrame(const uint8_t* bytes, uint32_t count) {
  if (count > capacity_) return false;
  if (count > 0) std::copy(bytes, bytes + count, data_.begin());
  // Keeps the byte after the frame zero for readers of the body as text.
  std::fill(data_.begin() + count, data_.end(), 0);
  writePos_ = count;
  length_ = count;
  cursor_ = 0;
  negative_ = false;
  nakNumber_ = 0;
  return true;
}

const uint8_t* MessageBuffer::NakDetails() const {
  return data_.data() + kNakDetailsAt;
}

size_t MessageBuffer::NakDetailCount() const {
  const int64_t payload = int64_t{length_} - kFrameOverhead;
  return negative_ && payload > kNakPrefix
             ? static_cast<size_t>(payload - kNakPrefix)
             : 0;
}

int32_t MessageBuffer::PayloadRemaining() const {
  const int64_t remaining =
      static_cast<int64_t>(length_) - static_cast<int64_t>(cursor_) - 2;
  return remaining > 0 ? static_cast<int32_t>(remaining) : 0;
}

uint32_t MessageBuffer::ByteSum(int32_t count) const {
  if (count < 1) return 0;
  const uint32_t n = std::min(static_cast<uint32_t>(count), capacity_);
  uint32_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum += data_[i];
  return sum;
}

uint16_t MessageBuffer::MessageNumber() const {
  return length_ >= 4 ? LoadU16(&data_[2]) : 0;
}

int16_t MessageBuffer::LengthField() const {
  return length_ >= 6 ? static_cast<int16_t>(LoadU16(&data_[4])) : 0;
}

uint16_t MessageBuffer::ChecksumField() const {
  return length_ >= 2 ? LoadU16(&data_[length_ - 2]) : 0;
}

void MessageBuffer::set_length(uint32_t length) {
  length_ = std::min(length, capacity_);
}

}  // namespace q7k
