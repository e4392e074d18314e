#include "support/wire.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace q7k {

constexpr uint8_t kDle = 0x10, kStx = 0x02, kEtx = 0x03;

Bytes Le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

Bytes Le32(uint32_t v) { return Concat({Le16(uint16_t(v)), Le16(v >> 16)}); }

Bytes LeF32(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return Le32(bits);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

uint16_t Get16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

uint32_t Get32(const Bytes& b, size_t at) {
  return Get16(b, at) | (static_cast<uint32_t>(Get16(b, at + 2)) << 16);
}

float GetF(const Bytes& b, size_t at) {
  const uint32_t bits = Get32(b, at);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

Bytes WithChecksum(Bytes frame) {
  if (frame.size() < 2) return frame;  // no checksum field to fill
  uint32_t sum = 0;
  for (size_t i = 0; i + 2 < frame.size(); ++i) sum += frame[i];
  frame[frame.size() - 2] = static_cast<uint8_t>(sum);
  frame[frame.size() - 1] = static_cast<uint8_t>(sum >> 8);
  return frame;
}

// Sized once and filled in place: growing the header with insert() trips a
// false bounds warning in g++ 12 at -O3.
Bytes RequestFrame(uint16_t number, const Bytes& payload) {
  const size_t n = payload.size();
  Bytes f(6 + n + 2);
  f[2] = static_cast<uint8_t>(number);
  f[3] = static_cast<uint8_t>(number >> 8);
  f[4] = static_cast<uint8_t>(n);
  f[5] = static_cast<uint8_t>(n >> 8);
  std::copy(payload.begin(), payload.end(), f.begin() + 6);
  return WithChecksum(std::move(f));
}

Bytes ReplyFrame(uint16_t command, const Bytes& payload) {
  return RequestFrame(static_cast<uint16_t>(0x10000u - command), payload);
}

Bytes AckFrame(uint16_t command, const Bytes& data) {
  return ReplyFrame(command, Concat({{0x06}, data}));
}

Bytes NakFrame(uint16_t command, int16_t number, const Bytes& details) {
  return ReplyFrame(
      command, Concat({{0x15}, Le16(static_cast<uint16_t>(number)), details}));
}

Bytes LineBytes(const Bytes& frame) {
  Bytes line = {kDle, kStx};
  for (uint8_t b : frame) {
    line.push_back(b);
    if (b == kDle) line.push_back(kDle);
  }
  line.push_back(kDle);
  line.push_back(kEtx);
  return line;
}

size_t TakeFrame(const Bytes& line, Bytes* frame) {
  size_t i = 0;
  while (i + 1 < line.size() && !(line[i] == kDle && line[i + 1] == kStx)) ++i;
  Bytes body;
  for (i += 2; i + 1 < line.size(); ++i) {
    if (line[i] == kDle) {
      if (line[i + 1] == kEtx) {
        *frame = std::move(body);
        return i + 2;
      }
      ++i;  // the second half of a doubled DLE is the data byte
    }
    body.push_back(line[i]);
  }
  return 0;
}

Bytes Decode(const Bytes& line) {
  Bytes frame;
  TakeFrame(line, &frame);
  return frame;
}

int Frame::NakNumber() const {
  if (payload.size() < 3 || payload[0] != 0x15) return -1000;
  return static_cast<int16_t>(Get16(payload, 1));
}

Frame Parse(const Bytes& frame) {
  Frame f;
  if (frame.size() < 8) return f;
  f.number = Get16(frame, 2);
  f.payload.assign(frame.begin() + 6, frame.end() - 2);
  return f;
}

}  // namespace q7k
