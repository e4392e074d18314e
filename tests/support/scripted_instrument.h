// A scripted instrument for link tests: a PtyPeer responder that decodes the
// component's line-encoded requests (however the line splits them) and
// answers each with the bytes a script returns.
//
//   ScriptedInstrument instrument([](const Request& r) {
//     return LineBytes(ReplyFrame(r.command, {kAck}));
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

#include "link/line_codec.h"
#include "support/pty_pair.h"

namespace q7k {

using Bytes = std::vector<uint8_t>;

// One decoded request frame.
struct Request {
  uint16_t command = 0;
  Bytes payload;
  Bytes frame;  // the whole frame, header and checksum included
};

// A reply frame to command: lead bytes, the reply number, length, payload,
// checksum. payload starts with kAck or kNak.
Bytes ReplyFrame(uint16_t command, const Bytes& payload);
// An ACK reply carrying data.
Bytes AckFrame(uint16_t command, const Bytes& data = {});
// A NAK reply with an error number and detail bytes.
Bytes NakFrame(uint16_t command, int16_t number, const Bytes& details = {});
// The line encoding of a frame (DLE STX ... DLE ETX).
Bytes LineBytes(const Bytes& frame);

class ScriptedInstrument {
 public:
  using Script = std::function<Bytes(const Request&)>;
  explicit ScriptedInstrument(Script script) : script_(std::move(script)) {}

  PtyPeer::Responder Responder();
  std::vector<Request> Requests() const;

 private:
  Bytes OnChunk(const Bytes& chunk);

  Script script_;
  LineDecoder decoder_;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SCRIPTED_INSTRUMENT_H_
