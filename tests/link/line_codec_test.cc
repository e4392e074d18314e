#include "link/line_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace q7k {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const Bytes& frame) {
  Bytes out(MaxEncodedSize(frame.size()));
  out.resize(EncodeLine(frame.data(), frame.size(), out.data()));
  return out;
}

Bytes Decoded(const LineDecoder& decoder) {
  return Bytes(decoder.frame(), decoder.frame() + decoder.count());
}

Bytes DecodeWhole(const Bytes& line, LineDecoder::Result expected) {
  LineDecoder decoder;
  EXPECT_EQ(decoder.Feed(line.data(), line.size()), expected);
  return Decoded(decoder);
}

TEST(LineCodecTest, EncodesDelimitersAndDoublesDle) {
  EXPECT_EQ(Encode({0x01, 0x10, 0x02}),
            (Bytes{0x10, 0x02, 0x01, 0x10, 0x10, 0x02, 0x10, 0x03}));
  EXPECT_EQ(Encode({}), (Bytes{0x10, 0x02, 0x10, 0x03}));
  const Bytes allDle(300, kDle);
  EXPECT_EQ(Encode(allDle).size(), MaxEncodedSize(300));
}

TEST(LineCodecTest, DecodesDleRunsAndSkipsNoise) {
  // clang-format off
  const std::pair<Bytes, Bytes> complete[] = {  // line, frame
      {{0x10, 0x02, 0x01, 0x10, 0x10, 0x02, 0x10, 0x03}, {0x01, 0x10, 0x02}},
      {{0x55, 0x10, 0x02, 0x10, 0x03}, {}},
      // The DLE before the first 03 is the second half of a pair: data.
      {{0x10, 0x02, 0x10, 0x10, 0x03, 0x10, 0x03}, {0x10, 0x03}},
      // An odd run: pairs, then the closing DLE.
      {{0x10, 0x02, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03}, {0x10, 0x10}},
      // STX without a DLE before it, and ETX outside a frame, start nothing.
      {{0x02, 0x41, 0x10, 0x03, 0x02, 0x10, 0x02, 0x42, 0x10, 0x03}, {0x42}},
      // A DLE STX inside a frame does not restart it.
      {{0x10, 0x02, 0x41, 0x10, 0x02, 0x42, 0x10, 0x03},
       {0x41, 0x10, 0x02, 0x42}},
  };
  // clang-format on
  for (const auto& [line, frame] : complete) {
    SCOPED_TRACE(testing::PrintToString(line));
    EXPECT_EQ(DecodeWhole(line, LineDecoder::kComplete), frame);
  }
  EXPECT_EQ(DecodeWhole({0x55, 0x02, 0x10, 0x41, 0x03}, LineDecoder::kNeedMore),
            Bytes{});
}

// A complete frame, followed by a zero, ends the reception: later bytes in
// its block and later blocks change nothing until Reset.
TEST(LineCodecTest, CompleteFrameEndsTheReception) {
  LineDecoder decoder;
  const Bytes line = {0x10, 0x02, 0x41, 0x10, 0x03, 0x42, 0x43};
  const Bytes more = {0x10, 0x02, 0x44, 0x10, 0x03};
  EXPECT_EQ(decoder.Feed(line.data(), line.size()), LineDecoder::kComplete);
  EXPECT_EQ(decoder.Feed(more.data(), more.size()), LineDecoder::kComplete);
  EXPECT_EQ(Decoded(decoder), Bytes{0x41});
  EXPECT_EQ(decoder.frame()[1], 0);
  decoder.Reset();
  EXPECT_EQ(decoder.count(), 0u);
  EXPECT_EQ(decoder.Feed(more.data(), more.size()), LineDecoder::kComplete);
  EXPECT_EQ(Decoded(decoder), Bytes{0x44});
}

TEST(LineCodecTest, EverySplitIntoBlocksDecodesTheSame) {
  // DLE pairs, a data DLE before ETX and STX, noise in front.
  const Bytes frame = {0x10, 0x03, 0x10, 0x10, 0x02, 0x10, 0x41, 0x10};
  Bytes line = {0x55, 0x02, 0x10};
  const Bytes encoded = Encode(frame);
  line.insert(line.end(), encoded.begin(), encoded.end());

  for (size_t i = 0; i <= line.size(); ++i) {
    for (size_t j = i; j <= line.size(); ++j) {
      LineDecoder decoder;
      decoder.Feed(line.data(), i);
      decoder.Feed(line.data() + i, j - i);
      ASSERT_EQ(decoder.Feed(line.data() + j, line.size() - j),
                LineDecoder::kComplete)
          << i << "," << j;
      ASSERT_EQ(Decoded(decoder), frame) << i << "," << j;
    }
  }
}

TEST(LineCodecTest, BufferLimit) {
  Bytes largest(1022, 0x41);
  EXPECT_EQ(DecodeWhole(Encode(largest), LineDecoder::kComplete), largest);

  // Too long as soon as the count reaches 1024.
  LineDecoder decoder;
  Bytes line = {0x10, 0x02};
  line.resize(2 + 1023, 0x41);
  EXPECT_EQ(decoder.Feed(line.data(), line.size()), LineDecoder::kNeedMore);
  const uint8_t one = 0x41;
  EXPECT_EQ(decoder.Feed(&one, 1), LineDecoder::kTooLong);
  EXPECT_EQ(decoder.count(), 1024u);

  // 2000 data DLEs: counted, not stored, and the closing DLE ETX cannot end a
  // frame whose bytes were lost.
  LineDecoder dles;
  line = Encode(Bytes(2000, kDle));
  line.push_back(0x41);
  EXPECT_EQ(dles.Feed(line.data(), line.size()), LineDecoder::kTooLong);
  EXPECT_EQ(dles.count(), 2002u);

  // A long STX run outside a frame is counted, yet a later DLE STX still
  // starts the frame.
  Bytes noisy(3000, kStx);
  const Bytes encoded = Encode({0x41});
  noisy.insert(noisy.end(), encoded.begin(), encoded.end());
  EXPECT_EQ(DecodeWhole(noisy, LineDecoder::kComplete), Bytes{0x41});
}

}  // namespace
}  // namespace q7k
