#include "link/line_codec.h"

#include <cstring>

namespace q7k {
namespace {

constexpr uint8_t kBlank = 0x20;

}  // namespace

size_t EncodeLine(const uint8_t* frame, size_t count, uint8_t* out) {
  size_t n = 0;
  out[n++] = kDle;
  out[n++] = kStx;
  for (size_t i = 0; i < count; ++i) {
    out[n++] = frame[i];
    if (frame[i] == kDle) out[n++] = kDle;
  }
  out[n++] = kDle;
  out[n++] = kEtx;
  return n;
}

void LineDecoder::Reset() {
  std::memset(buffer_, 0, sizeof buffer_);
  count_ = 0;
  dlePending_ = false;
  inFrame_ = false;
  prev_ = kBlank;
  lastCounted_ = kBlank;
  result_ = kNeedMore;
}

LineDecoder::Result LineDecoder::Feed(const uint8_t* bytes, size_t n) {
  if (result_ != kNeedMore) return result_;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    // prev_ lives across calls, so the second half of a doubled DLE is
    // recognised even when the pair straddles two blocks.
    if (prev_ == kDle && b == kDle) {
      dlePending_ = false;
      prev_ = kBlank;
      continue;
    }
    // The byte counted before b; remembered apart from the buffer so that
    // counts past its end never read outside it.
    const bool afterDle = count_ > 0 && lastCounted_ == kDle;
    if (count_ < kBufferSize) buffer_[count_] = b;
    ++count_;
    lastCounted_ = b;

    if (!inFrame_) {
      if (b == kStx && afterDle) {
        count_ = 0;
        dlePending_ = false;
        inFrame_ = true;
      } else if (b != kStx && b != kDle) {
        count_ = 0;
      }
    } else if (b == kDle) {
      dlePending_ = true;
    } else if (b == kEtx && afterDle && dlePending_ &&
               count_ - 2 < kBufferSize) {
      // The closing DLE was stored, so the frame and its terminating zero
      // fit the buffer.
      count_ -= 2;
      buffer_[count_] = 0;
      return result_ = kComplete;
    } else if (count_ > kBufferSize - 1) {
      return result_ = kTooLong;
    }
    prev_ = b;
  }
  return kNeedMore;
}

}  // namespace q7k
