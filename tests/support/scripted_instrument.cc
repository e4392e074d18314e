#include "support/scripted_instrument.h"

#include <algorithm>

namespace q7k {

PtyPeer::Responder ScriptedInstrument::Responder() {
  pending_.clear();
  return [this](const Bytes& chunk) { return OnChunk(chunk); };
}

std::vector<Request> ScriptedInstrument::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

Bytes ScriptedInstrument::OnChunk(const Bytes& chunk) {
  pending_.insert(pending_.end(), chunk.begin(), chunk.end());
  Bytes out;
  // A chunk may end one frame and begin the next.
  Request r;
  while (size_t used = TakeFrame(pending_, &r.frame)) {
    pending_.erase(pending_.begin(), pending_.begin() + used);
    if (r.frame.size() >= 8) {
      r.command = Get16(r.frame, 2);
      r.payload.assign(r.frame.begin() + 6, r.frame.end() - 2);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(r);
    }
    const Bytes reply = script_(r);
    out.insert(out.end(), reply.begin(), reply.end());
    r = Request();
  }
  return out;
}

}  // namespace q7k
