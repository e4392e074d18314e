#include "link/message_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/link_errors.h"
#include "log/trace_log.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Contents(const MessageBuffer& buffer) {
  return Bytes(buffer.data(), buffer.data() + buffer.length());
}

// A reply frame with a correct length field and checksum.
Bytes Reply(uint16_t number, const Bytes& payload) {
  const size_t n = payload.size();
  Bytes frame(n + kFrameOverhead, 0);
  frame[2] = static_cast<uint8_t>(number);
  frame[3] = static_cast<uint8_t>(number >> 8);
  frame[4] = static_cast<uint8_t>(n);
  frame[5] = static_cast<uint8_t>(n >> 8);
  uint32_t sum = frame[2] + frame[3] + frame[4] + frame[5];
  for (size_t i = 0; i < n; ++i) {
    frame[6 + i] = payload[i];
    sum += payload[i];
  }
  frame[6 + n] = static_cast<uint8_t>(sum);
  frame[7 + n] = static_cast<uint8_t>(sum >> 8);
  return frame;
}

std::string LogWith(const std::string& line) {
  return std::string(kTraceLogName) + "\n[" + line + "]\n";
}

TEST(MessageBufferTest, CommandTableBoundaries) {
  EXPECT_EQ(RequestPayloadLength(0x0000), 0);
  EXPECT_EQ(RequestPayloadLength(0x0003), 32);
  EXPECT_EQ(RequestPayloadLength(0x000B), kVariableLength);
  EXPECT_EQ(RequestPayloadLength(0x0016), 4);
  EXPECT_EQ(RequestPayloadLength(0x7E00), 8);
  EXPECT_EQ(RequestPayloadLength(0x7E13), 92);
  EXPECT_EQ(RequestPayloadLength(0x7E1A), 4);
  for (uint16_t command :
       {0x0017, 0x00FF, 0x0100, 0x7DFF, 0x7E1B, 0x7F15, 0xFFFF}) {
    EXPECT_EQ(RequestPayloadLength(command), -1) << command;
  }
  EXPECT_EQ(ReplyNumber(0x0002), 0xFFFE);
  EXPECT_EQ(ReplyNumber(0x7E06), 0x81FA);
  EXPECT_EQ(ReplyNumber(0x0000), 0x0000);
}

TEST(MessageBufferTest, BuildsFramesByteExact) {
  MessageBuffer empty;
  ASSERT_EQ(empty.BuildFrame(0x0002, nullptr, 0), kLinkOk);
  EXPECT_EQ(Contents(empty), (Bytes{0, 0, 0x02, 0, 0, 0, 0x02, 0}));
  EXPECT_EQ(empty.writePos(), 8u);

  MessageBuffer read;
  const Bytes args = {1, 2, 3, 4, 5, 6, 7};  // one more than 0x7E06 takes
  ASSERT_EQ(read.BuildFrame(0x7E06, args.data(), args.size()), kLinkOk);
  EXPECT_EQ(Contents(read),
            (Bytes{0, 0, 0x06, 0x7E, 6, 0, 1, 2, 3, 4, 5, 6, 0x9F, 0x00}));

  for (uint16_t command : {0x7E15, 0x0000}) {
    MessageBuffer buffer;
    ASSERT_EQ(buffer.BuildFrame(command, nullptr, 0), kLinkOk) << command;
    EXPECT_EQ(buffer.length(), 8u);
    EXPECT_EQ(buffer.LengthField(), 0);
    EXPECT_EQ(buffer.MessageNumber(), command);
  }
}

TEST(MessageBufferTest, UnknownCommandsAppendNothing) {
  const Bytes args(8, 0x55);
  for (uint16_t command : {0x0017, 0x7E1B, 0x7F15, 0x0100}) {
    MessageBuffer buffer;
    EXPECT_EQ(buffer.BuildFrame(command, args.data(), args.size()),
              kLinkBadNumber)
        << command;
    EXPECT_EQ(buffer.writePos(), 0u);
    EXPECT_EQ(buffer.length(), 0u);
  }
}

TEST(MessageBufferTest, VariableLengthTakesTheLeadingWord) {
  Bytes args = {10, 0};
  for (uint8_t b = 0x10; b < 0x1A; ++b) args.push_back(b);
  args.push_back(0xEE);  // beyond the announced length: not sent
  MessageBuffer buffer;
  ASSERT_EQ(buffer.BuildFrame(0x000B, args.data(), args.size()), kLinkOk);
  Bytes expected = {0, 0, 0x0B, 0, 10, 0};
  expected.insert(expected.end(), args.begin() + 2, args.begin() + 12);
  expected.push_back(0xE2);
  expected.push_back(0x00);
  EXPECT_EQ(Contents(buffer), expected);

  // The largest frame; its byte sum passes 0xFFFF and keeps the low 16 bits.
  Bytes largest = {0x24, 0x01};  // 292
  largest.resize(2 + 292, 0xFF);
  MessageBuffer full;
  ASSERT_EQ(full.BuildFrame(0x000B, largest.data(), largest.size()), kLinkOk);
  EXPECT_EQ(full.length(), kFrameCapacity);
  EXPECT_EQ(full.ChecksumField(), 0x230C);
}

TEST(MessageBufferTest, RequestsThatDoNotFitAreRefusedUnsent) {
  Bytes tooLong = {0x25, 0x01};  // 293
  tooLong.resize(2 + 293, 0x00);
  Bytes shortBody = {10, 0, 1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes fiveBytes(5, 0);
  const Bytes oneByte(1, 0);
  const Bytes ninetyTwo(92, 0);

  MessageBuffer a, b, c, d, small(20);
  EXPECT_EQ(a.BuildFrame(0x000B, tooLong.data(), tooLong.size()), kLinkTooLong);
  EXPECT_EQ(b.BuildFrame(0x000B, shortBody.data(), shortBody.size()),
            kLinkTooLong);
  EXPECT_EQ(c.BuildFrame(0x000B, oneByte.data(), oneByte.size()), kLinkTooLong);
  EXPECT_EQ(d.BuildFrame(0x7E06, fiveBytes.data(), fiveBytes.size()),
            kLinkTooLong);
  EXPECT_EQ(small.BuildFrame(0x7E13, ninetyTwo.data(), ninetyTwo.size()),
            kLinkTooLong);
  for (const MessageBuffer* buffer : {&a, &b, &c, &d, &small}) {
    EXPECT_EQ(buffer->writePos(), 0u);
    EXPECT_EQ(buffer->length(), 0u);
  }
}

TEST(MessageBufferTest, AppendsStopAtCapacity) {
  MessageBuffer buffer(4);
  const uint8_t bytes[] = {1, 2, 3};
  EXPECT_TRUE(buffer.PutBytes(bytes, 3));
  EXPECT_FALSE(buffer.PutBytes(bytes, 2));
  EXPECT_EQ(buffer.writePos(), 3u);
  EXPECT_TRUE(buffer.PutByte(4));
  EXPECT_FALSE(buffer.PutByte(5));
  EXPECT_EQ(buffer.writePos(), 4u);
  EXPECT_EQ(buffer.data()[4], 0);  // spare zeros behind the capacity
  EXPECT_EQ(buffer.data()[5], 0);
}

TEST(MessageBufferTest, SetFrameKeepsAZeroAfterTheFrame) {
  MessageBuffer buffer(8);
  const Bytes longer = {'a', 'b', 'c', 'd', 'e'};
  ASSERT_TRUE(buffer.SetFrame(longer.data(), 5));
  ASSERT_TRUE(buffer.SetFrame(longer.data(), 2));
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "ab");
  EXPECT_EQ(buffer.length(), 2u);
  EXPECT_EQ(buffer.PayloadRemaining(), 0);

  const Bytes nine(9, 1);
  EXPECT_FALSE(buffer.SetFrame(nine.data(), 9));
  EXPECT_EQ(buffer.length(), 2u);

  EXPECT_EQ(buffer.ByteSum(0), 0u);
  EXPECT_EQ(buffer.ByteSum(-5), 0u);
  EXPECT_EQ(buffer.ByteSum(2), 'a' + 'b');
  EXPECT_EQ(buffer.ByteSum(1000), 'a' + 'b');  // clamped to the buffer
}

// Verification writes to the trace log in the current directory.
class MessageBufferVerifyTest : public ::testing::Test {
 protected:
  int32_t Verify(const Bytes& frame, uint16_t expected = 0xFFFE) {
    reply_.expectedNumber = expected;
    EXPECT_TRUE(
        reply_.SetFrame(frame.data(), static_cast<uint32_t>(frame.size())));
    return reply_.VerifyReply();
  }
  std::string Log() const { return ReadFileBytes(dir_.File(kTraceLogName)); }

  ScopedTempDir dir_;
  MessageBuffer reply_;
};

TEST_F(MessageBufferVerifyTest, AckPositionsTheCursor) {
  EXPECT_EQ(Verify(Reply(0xFFFE, {kAck})), kLinkOk);
  EXPECT_EQ(reply_.cursor(), 6u);
  EXPECT_EQ(reply_.PayloadRemaining(), 1);

  EXPECT_EQ(Verify(Reply(0x81FA, {kAck, 0x34, 0x12}), 0x81FA), kLinkOk);
  EXPECT_EQ(reply_.cursor(), 7u);
  EXPECT_EQ(reply_.PayloadRemaining(), 2);
  EXPECT_EQ(reply_.Payload()[0], 0x34);
  EXPECT_EQ(reply_.Payload()[1], 0x12);
  EXPECT_EQ(Log(), "");
}

TEST_F(MessageBufferVerifyTest, NakReturnsItsErrorNumber) {
  EXPECT_EQ(Verify(Reply(0xFFFE, {kNak, 5, 0})), 5);
  EXPECT_EQ(reply_.cursor(), 6u);

  EXPECT_EQ(Verify(Reply(0xFFFE, {kNak, 0xFE, 0xFF, 0xAA, 0xBB})), -2);
  EXPECT_EQ(reply_.cursor(), 9u);
  EXPECT_EQ(reply_.PayloadRemaining(), 2);
  EXPECT_EQ(reply_.Payload()[0], 0xAA);

  EXPECT_EQ(Verify(Reply(0xFFFE, {kNak, 0, 0})), kLinkOk);
  EXPECT_EQ(Log(), "");
}

TEST_F(MessageBufferVerifyTest, ChecksumAboveSixteenBitsVerifies) {
  Bytes payload(290, 0xFF);
  payload[0] = kAck;
  const Bytes frame = Reply(0xFFFE, payload);
  uint32_t sum = 0;
  for (size_t i = 0; i + 2 < frame.size(); ++i) sum += frame[i];
  ASSERT_GT(sum, 0xFFFFu);
  EXPECT_EQ(Verify(frame), kLinkOk);
  EXPECT_EQ(reply_.PayloadRemaining(), 289);
}

TEST_F(MessageBufferVerifyTest, ChecksumMismatchIsTracedFirst) {
  // Also wrong in length and number: the checksum is checked first.
  Bytes frame = {0, 0, 0xFD, 0xFF, 0x02, 0x00, kAck, 0x05, 0x02};
  EXPECT_EQ(Verify(frame), kLinkBadChecksum);
  EXPECT_EQ(Log(), LogWith("Message Checksum Error[517,516](l=9)"));
}

TEST_F(MessageBufferVerifyTest, LengthMismatchIsTraced) {
  Bytes frame = Reply(0xFFFE, {kAck});
  frame[4] = 0x02;  // says 2, holds 1
  frame[7] += 1;
  EXPECT_EQ(Verify(frame), kLinkBadLength);
  EXPECT_EQ(Log(), LogWith("Message Length Error[2,1]"));
}

TEST_F(MessageBufferVerifyTest, NegativeLengthFieldIsTracedUnsigned) {
  Bytes frame = Reply(0xFFFE, {kAck});
  frame[4] = 0xFF;
  frame[5] = 0xFF;
  frame[7] = 0x01;  // 0x204 + 0xFE + 0xFF
  frame[8] = 0x04;
  EXPECT_EQ(Verify(frame), kLinkBadLength);
  EXPECT_EQ(Log(), LogWith("Message Length Error[4294967295,1]"));
}

TEST_F(MessageBufferVerifyTest, WrongNumberIsTraced) {
  EXPECT_EQ(Verify(Reply(0xFFFD, {kAck})), kLinkBadNumber);
  EXPECT_EQ(Log(), LogWith("Message Number Error[65533,65534]"));
}

TEST_F(MessageBufferVerifyTest, NeitherAckNorNakIsNotTraced) {
  EXPECT_EQ(Verify(Reply(0xFFFE, {0x07, 1, 2})), kLinkBadAckNak);
  EXPECT_EQ(reply_.cursor(), 6u);
  EXPECT_FALSE(PathExists(dir_.File(kTraceLogName)));
}

TEST_F(MessageBufferVerifyTest, AckNakByteIsNeverTakenFromTheChecksum) {
  // No payload: the checksum's low byte, 0x06, must not pass for an ACK.
  EXPECT_EQ(Verify({0x09, 0x00, 0xFE, 0xFF, 0x00, 0x00, 0x06, 0x02}),
            kLinkBadAckNak);
  // A NAK too short for its error number must not read it from the checksum.
  EXPECT_EQ(Verify(Reply(0xFFFE, {kNak})), kLinkBadAckNak);
  EXPECT_EQ(Verify(Reply(0xFFFE, {kNak, 5})), kLinkBadAckNak);
  EXPECT_EQ(Log(), "");
}

TEST(MessageBufferShortFrameTest, FailsInsideTheFrame) {
  struct Case {
    Bytes frame;
    uint16_t expected;
    int32_t result;
    const char* line;  // null: no trace line
  };
  const Case cases[] = {
      {{}, 0, kLinkBadLength, "Message Length Error[0,4294967288]"},
      {{0x00}, 0, kLinkBadLength, "Message Length Error[0,4294967289]"},
      {{0x00, 0x00}, 0, kLinkBadLength, "Message Length Error[0,4294967290]"},
      {{0x01, 0x00}, 0, kLinkBadChecksum, "Message Checksum Error[1,0](l=2)"},
      {{0x05, 0x05, 0x00},
       0,
       kLinkBadLength,
       "Message Length Error[0,4294967291]"},
      {{0x01, 0x02, 0x03, 0x00},
       0,
       kLinkBadLength,
       "Message Length Error[0,4294967292]"},
      {{0x01, 0x02, 0x03, 0x06, 0x00},
       0,
       kLinkBadLength,
       "Message Length Error[0,4294967293]"},
      {{0x01, 0x02, 0x03, 0x04, 0x0A, 0x00},
       0,
       kLinkBadLength,
       "Message Length Error[10,4294967294]"},
      // Seven bytes whose checksum and length field (-1) both match.
      {{0xFF, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0x03},
       0xFFFE,
       kLinkBadNumber,
       "Message Number Error[1023,65534]"},
      {{0xFF, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0x03},
       0x03FF,
       kLinkBadAckNak,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.frame));
    ScopedTempDir dir;
    // Bytes behind the frame that would pass for a NAK if read.
    MessageBuffer reply(16);
    const Bytes behind = {kNak, 0x05, 0x00, kAck};
    ASSERT_TRUE(
        reply.PutBytes(c.frame.data(), static_cast<uint32_t>(c.frame.size())));
    ASSERT_TRUE(reply.PutBytes(behind.data(), 4));
    reply.set_length(static_cast<uint32_t>(c.frame.size()));
    reply.expectedNumber = c.expected;
    EXPECT_EQ(reply.VerifyReply(), c.result);
    const std::string log = ReadFileBytes(dir.File(kTraceLogName));
    EXPECT_EQ(log, c.line != nullptr ? LogWith(c.line) : "");
  }
}

}  // namespace
}  // namespace q7k
