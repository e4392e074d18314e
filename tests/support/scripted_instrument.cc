#include "support/scripted_instrument.h"

namespace q7k {

Bytes ReplyFrame(uint16_t command, const Bytes& payload) {
  const uint16_t number = static_cast<uint16_t>(0x10000u - command);
  const size_t n = payload.size();
  Bytes f = {0,
             0,
             static_cast<uint8_t>(number),
             static_cast<uint8_t>(number >> 8),
             static_cast<uint8_t>(n),
             static_cast<uint8_t>(n >> 8)};
  f.insert(f.end(), payload.begin(), payload.end());
  uint32_t sum = 0;
  for (uint8_t b : f) sum += b;
  f.push_back(static_cast<uint8_t>(sum));
  f.push_back(static_cast<uint8_t>(sum >> 8));
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
