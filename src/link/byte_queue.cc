#include "link/byte_queue.h"

#include <algorithm>
#include <cstring>

namespace q7k {

ByteQueue::ByteQueue(size_t capacity)
    : capacity_(capacity), ring_(new uint8_t[capacity > 0 ? capacity : 1]) {}

size_t ByteQueue::Free() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return capacity_ - count_;
}

size_t ByteQueue::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

int32_t ByteQueue::PushByte(uint8_t b) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ >= capacity_) return -1;
  ring_[(head_ + count_) % capacity_] = b;
  ++count_;
  return b;
}

size_t ByteQueue::Push(const uint8_t* bytes, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t accepted = std::min(n, capacity_ - count_);
  // At most two runs: up to the end of the ring, then from its start.
  size_t tail = (head_ + count_) % (capacity_ > 0 ? capacity_ : 1);
  const size_t first = std::min(accepted, capacity_ - tail);
  if (first > 0) std::memcpy(&ring_[tail], bytes, first);
  if (accepted > first) std::memcpy(&ring_[0], bytes + first, accepted - first);
  count_ += accepted;
  return accepted;
}

int32_t ByteQueue::PopByte() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ == 0) return -1;
  const uint8_t b = ring_[head_];
  head_ = (head_ + 1) % capacity_;
  --count_;
  return b;
}

size_t ByteQueue::Pop(uint8_t* buffer, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t taken = std::min(n, count_);
  if (taken == 0) return 0;
  CopyOut(buffer, taken);
  head_ = (head_ + taken) % capacity_;
  count_ -= taken;
  return taken;
}

size_t ByteQueue::Peek(uint8_t* buffer, size_t n) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t copied = std::min(n, count_);
  if (copied > 0) CopyOut(buffer, copied);
  return copied;
}

void ByteQueue::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  head_ = 0;
  count_ = 0;
}

void ByteQueue::CopyOut(uint8_t* buffer, size_t count) const {
  const size_t first = std::min(count, capacity_ - head_);
  std::memcpy(buffer, &ring_[head_], first);
  if (count > first) std::memcpy(buffer + first, &ring_[0], count - first);
}

}  // namespace q7k
