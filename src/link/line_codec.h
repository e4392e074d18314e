// The line encoding of frames on the serial line, both directions:
//
//   DLE STX, the frame bytes with every DLE (0x10) sent twice, DLE ETX
//
// with STX 0x02 and ETX 0x03. An encoded frame of n bytes takes at most
// 4 + 2n bytes.
//
// Thread safety: none; a decoder belongs to one reception on one thread.
#ifndef Q7K_LINK_LINE_CODEC_H_
#define Q7K_LINK_LINE_CODEC_H_

#include <cstddef>
#include <cstdint>

namespace q7k {

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;

constexpr size_t MaxEncodedSize(size_t frameBytes) {
  return 4 + 2 * frameBytes;
}

// Writes the line encoding of count frame bytes to out and returns the number
// of bytes written. REQUIRES: out holds MaxEncodedSize(count) bytes.
size_t EncodeLine(const uint8_t* frame, size_t count, uint8_t* out);

// Decodes line bytes fed in blocks as they arrive. Noise before a frame start
// is dropped; bytes after the closing DLE ETX in the same block are dropped.
// The decoder carries the previous byte across blocks, so a frame decodes the
// same however it is split.
class LineDecoder {
 public:
  enum Result { kComplete = 1, kNeedMore = 2, kTooLong = 3 };
  static constexpr size_t kBufferSize = 1024;

  LineDecoder() { Reset(); }
  // Starts a new reception: empty buffer, no frame, previous byte a blank.
  void Reset();
  // Feeds n bytes. kComplete: frame() holds count() bytes followed by a zero
  // byte. kTooLong: the frame outgrew the 1024-byte buffer. Either ends the
  // reception: later calls return the same result and change nothing until
  // Reset.
  Result Feed(const uint8_t* bytes, size_t n);

  const uint8_t* frame() const { return buffer_; }
  // Bytes counted in the current reception (also past the buffer's end).
  size_t count() const { return count_; }

 private:
  uint8_t buffer_[kBufferSize + 1];
  size_t count_;
  bool dlePending_;
  bool inFrame_;
  uint8_t prev_;         // byte before the next one, blank after a DLE pair
  uint8_t lastCounted_;  // byte counted last, stored or not
  Result result_;
};

}  // namespace q7k

#endif  // Q7K_LINK_LINE_CODEC_H_
