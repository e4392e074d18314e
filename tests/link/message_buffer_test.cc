#include "link/message_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "link/link_errors.h"
#include "support/wire.h"

namespace q7k {
namespace {

int32_t Build(MessageBuffer& buffer, uint16_t command, const Bytes& args) {
  return buffer.BuildFrame(command, args.data(), args.size());
}

TEST(MessageBufferTest, CommandTableBoundaries) {
  EXPECT_EQ(RequestPayloadLength(0x000B), kVariableLength);
  EXPECT_EQ(RequestPayloadLength(0x0016), 4);
  EXPECT_EQ(RequestPayloadLength(0x7DFF), -1);
  EXPECT_EQ(RequestPayloadLength(0x7E00), 8);
  EXPECT_EQ(RequestPayloadLength(0x7E1A), 4);
}

// Requests are built byte-exact; one that does not fit, or an unknown
// command, appends nothing.
TEST(MessageBufferTest, BuildsFramesOrRefusesThemUnsent) {
  // Past its announced length (10) a variable request's bytes are not sent.
  const Bytes variable = {10,   0,    0x10, 0x11, 0x12, 0x13, 0x14,
                          0x15, 0x16, 0x17, 0x18, 0x19, 0xEE};
  Bytes tooLong = {0x25, 0x01};  // 293
  tooLong.resize(2 + 293, 0x00);
  const Bytes seven = {1, 2, 3, 4, 5, 6, 7};  // one more than 0x7E06 takes
  struct Case {
    uint16_t command;
    Bytes args;
    int32_t result;
    Bytes frame;
    uint32_t capacity = kFrameCapacity;
  };
  // clang-format off
  const Case cases[] = {
      {0x7E06, seven, kLinkOk,
       {0, 0, 0x06, 0x7E, 6, 0, 1, 2, 3, 4, 5, 6, 0x9F, 0x00}},
      {0x000B, variable, kLinkOk, {0, 0, 0x0B, 0, 10, 0, 0x10, 0x11, 0x12,
       0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0xE2, 0x00}},
      {0x0017, seven, kLinkBadNumber, {}},
      {0x7E1B, seven, kLinkBadNumber, {}},
      {0x000B, tooLong, kLinkTooLong, {}},
      {0x000B, {10, 0, 1, 2, 3, 4, 5, 6, 7, 8}, kLinkTooLong, {}},
      {0x000B, {0}, kLinkTooLong, {}},  // no whole length word
      {0x7E06, Bytes(5, 0), kLinkTooLong, {}},
      {0x7E13, Bytes(92, 0), kLinkTooLong, {}, 20},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    MessageBuffer buffer(c.capacity);
    EXPECT_EQ(Build(buffer, c.command, c.args), c.result) << c.command;
    EXPECT_EQ(Bytes(buffer.data(), buffer.data() + buffer.length()), c.frame);
    EXPECT_EQ(buffer.writePos(), c.frame.size());
  }
  // The largest frame; its byte sum passes 0xFFFF and keeps the low 16 bits.
  Bytes largest = {0x24, 0x01};  // 292
  largest.resize(2 + 292, 0xFF);
  MessageBuffer full;
  ASSERT_EQ(Build(full, 0x000B, largest), kLinkOk);
  EXPECT_EQ(full.length(), kFrameCapacity);
  EXPECT_EQ(full.ChecksumField(), 0x230C);
}

TEST(MessageBufferTest, AppendsAndSetFrameStayInsideTheCapacity) {
  MessageBuffer buffer(4);
  const Bytes bytes = {'a', 'b', 'c', 'd', 'e'};
  EXPECT_TRUE(buffer.PutBytes(bytes.data(), 3));
  EXPECT_FALSE(buffer.PutBytes(bytes.data(), 2));
  EXPECT_TRUE(buffer.PutByte(4));
  EXPECT_FALSE(buffer.PutByte(5));
  EXPECT_EQ(buffer.data()[4], 0);  // spare zero behind the capacity

  ASSERT_TRUE(buffer.SetFrame(bytes.data(), 2));
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "ab");
  EXPECT_FALSE(buffer.SetFrame(bytes.data(), 5));
  EXPECT_EQ(buffer.length(), 2u);
  EXPECT_EQ(buffer.ByteSum(1000), 'a' + 'b');  // clamped to the buffer
}

// ACK and NAK results with the cursor on the data after them, and each
// failure with its trace line, also for frames too short for their fields.
TEST(MessageBufferTest, VerifyReply) {
  Bytes big(290, 0xFF);  // a byte sum above 16 bits still verifies
  big[0] = kAck;
  struct Case {
    Bytes frame;
    uint16_t expected;
    int32_t result;
    int32_t remaining;        // -1: not checked
    const char* line = "";    // the trace line
    int32_t nakDetails = -1;  // -1: no NAK
  };
  // clang-format off
  const Case cases[] = {
      {ReplyFrame(0x7E06, {kAck, 0x34, 0x12}), 0x81FA, kLinkOk, 2},
      {ReplyFrame(2, {kNak, 5, 0}), 0xFFFE, 5, -1, "", 0},
      {ReplyFrame(2, {kNak, 0xFE, 0xFF, 0xAA, 0xBB}), 0xFFFE, -2, 2, "", 2},
      {ReplyFrame(2, {kNak, 0, 0}), 0xFFFE, kLinkOk, -1, "", 0},
      {ReplyFrame(2, big), 0xFFFE, kLinkOk, 289},
      // The ACK/NAK byte is never taken from the checksum: not without a
      // payload (its low byte 06 here), nor for a NAK too short for its
      // number; never traced.
      {ReplyFrame(2, {0x07, 1, 2}), 0xFFFE, kLinkBadAckNak, -1},
      {{0x09, 0x00, 0xFE, 0xFF, 0x00, 0x00, 0x06, 0x02}, 0xFFFE,
       kLinkBadAckNak, -1},
      {ReplyFrame(2, {kNak, 5}), 0xFFFE, kLinkBadAckNak, -1},
      // Also wrong in length and number: the checksum is checked first.
      {{0, 0, 0xFD, 0xFF, 0x02, 0x00, kAck, 0x05, 0x02}, 0xFFFE,
       kLinkBadChecksum, -1, "Message Checksum Error[517,516](l=9)"},
      {{0, 0, 0xFE, 0xFF, 0xFF, 0xFF, kAck, 0x01, 0x04}, 0xFFFE,
       kLinkBadLength, -1, "Message Length Error[4294967295,1]"},  // -1
      {{0, 0, 0xFD, 0xFF, 0x01, 0x00, kAck, 0x03, 0x02}, 0xFFFE,
       kLinkBadNumber, -1, "Message Number Error[65533,65534]"},
      {{}, 0, kLinkBadLength, -1, "Message Length Error[0,4294967288]"},
      {{0x01, 0x00}, 0, kLinkBadChecksum, -1,
       "Message Checksum Error[1,0](l=2)"},
      {{0x01, 0x02, 0x03, 0x04, 0x0A, 0x00}, 0, kLinkBadLength, -1,
       "Message Length Error[10,4294967294]"},
      // Seven bytes whose checksum and length field (-1) both match.
      {{0xFF, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0x03}, 0xFFFE, kLinkBadNumber, -1,
       "Message Number Error[1023,65534]"},
      {{0xFF, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0x03}, 0x03FF, kLinkBadAckNak, -1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.frame));
    // Bytes behind the frame that would pass for a NAK if read.
    const Bytes behind = {kNak, 0x05, 0x00, kAck};
    const auto size = static_cast<uint32_t>(c.frame.size());
    MessageBuffer reply(size + 4);
    ASSERT_TRUE(reply.PutBytes(c.frame.data(), size));
    ASSERT_TRUE(reply.PutBytes(behind.data(), 4));
    reply.set_length(size);
    reply.expectedNumber = c.expected;
    const MessageBuffer::Verdict verdict = reply.VerifyReply();
    EXPECT_EQ(verdict.result, c.result);
    EXPECT_EQ(verdict.traceLine, c.line);
    EXPECT_EQ(reply.negative(), c.nakDetails >= 0);
    EXPECT_EQ(reply.NakDetailCount(), size_t(std::max(c.nakDetails, 0)));
    if (c.remaining >= 0) {
      EXPECT_EQ(reply.PayloadRemaining(), c.remaining);
      EXPECT_EQ(reply.cursor() + c.remaining + 2, size);
    }
  }
}

}  // namespace
}  // namespace q7k
