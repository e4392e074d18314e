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

  PtyPeer::Responder Responder();
  std::vector<Request> Requests() const;

 private:
  Bytes OnChunk(const Bytes& chunk);

  Script script_;
  Bytes pending_;  // line bytes not yet a whole frame
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SCRIPTED_INSTRUMENT_H_
