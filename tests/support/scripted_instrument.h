// A scripted instrument for link tests: a PtyPeer responder that takes the
// component's line-encoded requests apart (however the line splits them)
// and answers each with the bytes a script returns.
//
//   ScriptedInstrument instrument([](const Request& r) {
//     return LineBytes(AckFrame(r.command));
//   });
//   PtyPeer peer(pty.master(), instrument.Responder());
//
// Thread safety: the script runs on the peer's thread; Requests() may be
// called from any thread.
#ifndef Q7K_TESTS_SUPPORT_SCRIPTED_INSTRUMENT_H_
#define Q7K_TESTS_SUPPORT_SCRIPTED_INSTRUMENT_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "support/pty_pair.h"
#include "support/wire.h"

namespace q7k {

// One request frame as received.
struct Request {
  uint16_t command = 0;
  Bytes payload;
  Bytes frame;  // the whole frame, header and checksum included
};

class ScriptedInstrument {
 public:
  using Script = std::function<Bytes(const Request&)>;
  explicit ScriptedInstrument(Script script) : script_(std::move(script)) {}

  PtyPeer::Responder Responder() {
    pending_.clear();
    return [this](const Bytes& chunk) { return OnChunk(chunk); };
  }
  std::vector<Request> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  Bytes OnChunk(const Bytes& chunk) {
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

  Script script_;
  Bytes pending_;  // line bytes not yet a whole frame
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SCRIPTED_INSTRUMENT_H_
