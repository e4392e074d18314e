#include "link/byte_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace q7k {
namespace {

std::vector<uint8_t> Sequence(size_t n, uint8_t first = 0) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

TEST(ByteQueueTest, PushBeyondCapacityAcceptsOnlyWhatFits) {
  ByteQueue q(2048);
  const std::vector<uint8_t> bytes = Sequence(3000);
  EXPECT_EQ(q.Push(bytes.data(), bytes.size()), 2048u);
  EXPECT_EQ(q.Count(), 2048u);
  EXPECT_EQ(q.Free(), 0u);
  EXPECT_EQ(q.Push(bytes.data(), bytes.size()), 0u);
  EXPECT_EQ(q.Count(), 2048u);
}

TEST(ByteQueueTest, PushByteReturnsValueOrMinusOneWhenFull) {
  ByteQueue q(2);
  EXPECT_EQ(q.PushByte(0xFF), 255);
  EXPECT_EQ(q.PushByte(0x00), 0);
  EXPECT_EQ(q.PushByte(0x42), -1);
  EXPECT_EQ(q.Count(), 2u);
  EXPECT_EQ(q.PopByte(), 0xFF);
  EXPECT_EQ(q.PopByte(), 0x00);
}

TEST(ByteQueueTest, EmptyQueueAndShortPopAndPeek) {
  ByteQueue q(16);
  EXPECT_EQ(q.PopByte(), -1);
  uint8_t out[10] = {};
  EXPECT_EQ(q.Pop(out, 10), 0u);

  const uint8_t four[] = {1, 2, 3, 4};
  q.Push(four, 4);
  EXPECT_EQ(q.Peek(out, 10), 4u);
  EXPECT_EQ(q.Count(), 4u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4),
            std::vector<uint8_t>(four, four + 4));
  EXPECT_EQ(q.Pop(out, 10), 4u);
  EXPECT_EQ(q.Count(), 0u);
  EXPECT_EQ(q.Free(), 16u);
}

TEST(ByteQueueTest, ClearEmptiesAndQueueStaysUsable) {
  ByteQueue q(4);
  const uint8_t bytes[] = {9, 8, 7};
  q.Push(bytes, 3);
  q.PopByte();
  q.Clear();
  EXPECT_EQ(q.Count(), 0u);
  EXPECT_EQ(q.Free(), 4u);
  EXPECT_EQ(q.Push(bytes, 3), 3u);
  EXPECT_EQ(q.PopByte(), 9);
}

TEST(ByteQueueTest, ZeroCapacityHoldsNothing) {
  ByteQueue q(0);
  const uint8_t b = 1;
  EXPECT_EQ(q.Push(&b, 1), 0u);
  EXPECT_EQ(q.PushByte(1), -1);
  EXPECT_EQ(q.PopByte(), -1);
  EXPECT_EQ(q.Free(), 0u);
}

// Odd sizes make every push and pop straddle the end of the ring somewhere.
TEST(ByteQueueTest, KeepsOrderAcrossManyWraps) {
  ByteQueue q(7);
  std::vector<uint8_t> in;
  std::vector<uint8_t> out;
  uint8_t next = 0;
  for (int round = 0; round < 1000; ++round) {
    const size_t pushSize = 1 + round % 5;
    std::vector<uint8_t> chunk = Sequence(pushSize, next);
    const size_t accepted = q.Push(chunk.data(), chunk.size());
    in.insert(in.end(), chunk.begin(), chunk.begin() + accepted);
    next = static_cast<uint8_t>(next + accepted);

    uint8_t peeked[8];
    const size_t p = q.Peek(peeked, 3);
    ASSERT_EQ(std::vector<uint8_t>(peeked, peeked + p),
              std::vector<uint8_t>(in.begin() + out.size(),
                                   in.begin() + out.size() + p));

    uint8_t popped[8];
    const size_t n = q.Pop(popped, 1 + round % 3);
    out.insert(out.end(), popped, popped + n);
    if (round % 4 == 0 && q.Count() > 0) {
      out.push_back(static_cast<uint8_t>(q.PopByte()));
    }
    ASSERT_LE(q.Count(), 7u);
  }
  uint8_t rest[8];
  const size_t n = q.Pop(rest, sizeof rest);
  out.insert(out.end(), rest, rest + n);
  EXPECT_EQ(out, in);
  EXPECT_GT(in.size(), 7u * 100);
}

// One producer and one consumer, as a port's threads use a queue: every byte
// arrives once, in order, and the queue never holds more than its capacity.
// The queue never waits, so the threads sleep on a condition variable when
// it is full or empty, as the port's threads sleep on their wake-ups.
TEST(ByteQueueTest, ProducerAndConsumerThreadsKeepOrder) {
  constexpr size_t kTotal = 200000;
  ByteQueue q(61);
  std::mutex mutex;
  std::condition_variable changed;
  auto ring = [&] {
    { std::lock_guard<std::mutex> lock(mutex); }
    changed.notify_all();
  };

  std::thread producer([&] {
    size_t sent = 0;
    uint8_t chunk[37];
    while (sent < kTotal) {
      const size_t n = std::min(sizeof chunk, kTotal - sent);
      for (size_t i = 0; i < n; ++i) {
        chunk[i] = static_cast<uint8_t>((sent + i) * 7);
      }
      const size_t accepted = q.Push(chunk, n);
      sent += accepted;
      ring();
      if (accepted == 0) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return q.Free() > 0; });
      }
    }
  });
  std::vector<uint8_t> received;
  received.reserve(kTotal);
  size_t mostHeld = 0;
  while (received.size() < kTotal) {
    uint8_t block[23];
    mostHeld = std::max(mostHeld, q.Count());
    const size_t n = q.Pop(block, sizeof block);
    received.insert(received.end(), block, block + n);
    ring();
    if (n == 0) {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return q.Count() > 0; });
    }
  }
  producer.join();

  EXPECT_LE(mostHeld, q.Capacity());
  for (size_t i = 0; i < kTotal; ++i) {
    ASSERT_EQ(received[i], static_cast<uint8_t>(i * 7)) << "at " << i;
  }
  EXPECT_EQ(q.Count(), 0u);
}

}  // namespace
}  // namespace q7k
