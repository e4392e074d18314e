#include "link/byte_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace q7k {
namespace {

std::vector<uint8_t> Sequence(size_t n, uint8_t first = 0) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// Full, partly taken and cleared queues of the port's size, and the order
// of long streams through them: CommPortTest.
TEST(ByteQueueTest, TinyQueues) {
  const uint8_t one = 1;
  ByteQueue none(0);
  EXPECT_EQ(none.Push(&one, 1), 0u);
  EXPECT_EQ(none.PushByte(1), -1);
  EXPECT_EQ(none.PopByte(), -1);
  ByteQueue small(2);  // bytes come back unsigned
  EXPECT_EQ(small.PushByte(0xFF), 255);
  EXPECT_EQ(small.PushByte(0x00), 0);
  EXPECT_EQ(small.PushByte(0x42), -1);  // full
  EXPECT_EQ(small.PopByte(), 0xFF);
  EXPECT_EQ(small.PopByte(), 0x00);
  uint8_t out[4];
  EXPECT_EQ(small.Pop(out, 4), 0u);  // empty
}

// Odd sizes make every push, peek and pop straddle the end of the ring.
TEST(ByteQueueTest, KeepsOrderAcrossManyWraps) {
  ByteQueue q(7);
  std::vector<uint8_t> in;
  std::vector<uint8_t> out;
  for (int round = 0; round < 1000; ++round) {
    const std::vector<uint8_t> chunk =
        Sequence(1 + round % 5, static_cast<uint8_t>(in.size()));
    const size_t accepted = q.Push(chunk.data(), chunk.size());
    in.insert(in.end(), chunk.begin(), chunk.begin() + accepted);

    uint8_t block[8];
    const size_t p = q.Peek(block, 3);
    ASSERT_TRUE(std::equal(block, block + p, in.begin() + out.size()));
    const size_t n = q.Pop(block, 1 + round % 3);
    out.insert(out.end(), block, block + n);
    if (round % 4 == 0 && q.Count() > 0) out.push_back(q.PopByte());
  }
  uint8_t rest[8];
  out.insert(out.end(), rest, rest + q.Pop(rest, sizeof rest));
  EXPECT_EQ(out, in);
  q.Push(rest, 5);
  q.Clear();
  EXPECT_EQ(q.Free(), 7u);
  EXPECT_EQ(q.PopByte(), -1);
}

}  // namespace
}  // namespace q7k
