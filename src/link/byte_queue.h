// ByteQueue: the bounded first-in first-out byte queue between a serial
// port's threads and the client's thread (one is the port's RxQueue, the
// other its TxQueue).
//
// The bytes live in a ring of exactly `capacity` slots, allocated once; the
// queue never grows, never waits for space or data, and never calls out while
// it holds its lock. Waking the other side is the port's business.
//
// Thread safety: every operation takes the queue's one mutex for its whole
// duration, so any number of threads may call any operation concurrently.
// A Count or Free read by one thread may be stale by the time it is used;
// with one producer and one consumer it is only ever stale in the safe
// direction (the producer's Free can only grow, the consumer's Count can only
// grow).
#ifndef Q7K_LINK_BYTE_QUEUE_H_
#define Q7K_LINK_BYTE_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace q7k {

class ByteQueue {
 public:
  // An empty queue that accepts at most capacity bytes.
  explicit ByteQueue(size_t capacity);
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  size_t Capacity() const { return capacity_; }
  // Room left: capacity minus the bytes held (0 when full, never negative).
  size_t Free() const;
  // Bytes held.
  size_t Count() const;

  // Appends b and returns its value (0..255); -1, nothing kept, when full.
  int32_t PushByte(uint8_t b);
  // Appends the first min(n, Free()) bytes of bytes and returns that count.
  // REQUIRES: bytes points to n readable bytes (may be null when n is 0).
  size_t Push(const uint8_t* bytes, size_t n);

  // Removes and returns the oldest byte; -1 when empty.
  int32_t PopByte();
  // Moves up to n of the oldest bytes, in order, into buffer; returns how
  // many. REQUIRES: buffer has room for n bytes (may be null when n is 0).
  size_t Pop(uint8_t* buffer, size_t n);
  // Copies up to n of the oldest bytes into buffer without removing them;
  // returns how many. REQUIRES: as Pop.
  size_t Peek(uint8_t* buffer, size_t n) const;

  // Discards everything held.
  void Clear();

 private:
  // Copies count bytes starting at the oldest into buffer. REQUIRES: mutex_
  // held, count <= count_.
  void CopyOut(uint8_t* buffer, size_t count) const;

  const size_t capacity_;
  const std::unique_ptr<uint8_t[]> ring_;
  mutable std::mutex mutex_;
  size_t head_ = 0;   // slot of the oldest byte
  size_t count_ = 0;  // bytes held, starting at head_
};

}  // namespace q7k

#endif  // Q7K_LINK_BYTE_QUEUE_H_
