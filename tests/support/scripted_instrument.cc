#include "support/scripted_instrument.h"

#include <algorithm>

namespace q7k {

Bytes ReplyFrame(uint16_t command, const Bytes& payload) {
  const uint16_t number = static_cast<uint16_t>(0x10000u - command);
  const size_t n = payload.size();
  // Sized once and filled in place: growing a six-byte header with insert()
  // trips a false -Warray-bounds in g++ 12 at -O3.
  Bytes f(6 + n + 2);
  f[2] = static_cast<uint8_t>(number);
  f[3] = static_cast<uint8_t>(number >> 8);
  f[4] = static_cast<uint8_t>(n);
  f[5] = static_cast<uint8_t>(n >> 8);
  std::copy(payload.begin(), payload.end(), f.begin() + 6);
  uint32_t sum = 0;
  for (size_t i = 0; i < 6 + n; ++i) sum += f[i];
  f[6 + n] = static_cast<uint8_t>(sum);
  f[7 + n] = static_cast<uint8_t>(sum >> 8);
  return f;
}

Bytes AckFrame(uint16_t command, const Bytes& data) {
  Bytes payload = {0x06};
  payload.insert(payload.end(), data.begin(), data.end());
  return ReplyFrame(command, payload);
}

Bytes NakFrame(uint16_t command, int16_t number, const Bytes& details) {
  Bytes payload = {0x15, static_cast<uint8_t>(number),
                   static_cast<uint8_t>(static_cast<uint16_t>(number) >> 8)};
  payload.insert(payload.end(), details.begin(), details.end());
  return ReplyFrame(command, payload);
}

Bytes LineBytes(const Bytes& frame) {
  Bytes out(MaxEncodedSize(frame.size()));
  out.resize(EncodeLine(frame.data(), frame.size(), out.data()));
  return out;
}

PtyPeer::Responder ScriptedInstrument::Responder() {
  decoder_.Reset();
  return [this](const Bytes& chunk) { return OnChunk(chunk); };
}

std::vector<Request> ScriptedInstrument::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

Bytes ScriptedInstrument::OnChunk(const Bytes& chunk) {
  Bytes out;
  // A chunk may end one frame and begin the next: feed byte by byte so that
  // nothing after a frame's end is dropped.
  for (uint8_t b : chunk) {
    if (decoder_.Feed(&b, 1) != LineDecoder::kComplete) continue;
    Request r;
    r.frame.assign(decoder_.frame(), decoder_.frame() + decoder_.count());
    decoder_.Reset();
    if (r.frame.size() >= 8) {
      r.command = static_cast<uint16_t>(r.frame[2] | (r.frame[3] << 8));
      r.payload.assign(r.frame.begin() + 6, r.frame.end() - 2);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(r);
    }
    const Bytes reply = script_(r);
    out.insert(out.end(), reply.begin(), reply.end());
  }
  return out;
}

}  // namespace q7k
