// Transactor: one command exchange with the instrument, as the command
// methods see it. InstrumentLink is the one that drives a port; another
// transactor can stand in its place behind a CommandChannel (the built-in
// instrument, or one in a test's process), so command logic runs without
// the port's line.
//
// A successful exchange leaves either a verified positive reply in reply,
// or reply empty (length 0): the answer came without a frame, so there is
// nothing to decode and the caller's outputs stay as they are.
//
// Thread safety: as the implementation documents; InstrumentLink's methods
// all run on the client's thread.
#ifndef Q7K_LINK_TRANSACTOR_H_
#define Q7K_LINK_TRANSACTOR_H_

#include <cstddef>
#include <cstdint>

#include "link/message_buffer.h"

namespace q7k {

inline constexpr int32_t kDefaultResponseTimeoutMs = 4000;
inline constexpr int32_t kNoTimeout = -1;

class Transactor {
 public:
  virtual ~Transactor() = default;

  // Sends command with payload (size bytes, null when 0) and leaves the
  // reply in reply (see above). False: the failure is recorded in the error
  // record.
  virtual bool Transmit(uint16_t command, const uint8_t* payload, size_t size,
                        MessageBuffer* reply) = 0;
  // The request half of Transmit.
  virtual bool SendOnly(uint16_t command, const uint8_t* payload,
                        size_t size) = 0;
  // The reply half, for a command sent with SendOnly.
  virtual bool ReceiveOnly(uint16_t command, MessageBuffer* reply) = 0;

  // Sends the loopback text on the line, outside any frame, and expects it
  // back. False: the failure is recorded.
  virtual bool RunLoopback() = 0;
  // The reply time-out of later exchanges, in ms (kNoTimeout: none).
  virtual void SetReplyTimeout(int32_t ms) = 0;
  // The catalogue text id for a failure with link error number code.
  virtual int32_t ErrorMessageId(int32_t code) = 0;
};

// Raises the reply time-out for the commands of one scope; the default is
// back when the scope ends, whatever the outcome.
class ScopedReplyTimeout {
 public:
  ScopedReplyTimeout(Transactor* link, int32_t ms) : link_(link) {
    link_->SetReplyTimeout(ms);
  }
  ~ScopedReplyTimeout() { link_->SetReplyTimeout(kDefaultResponseTimeoutMs); }
  ScopedReplyTimeout(const ScopedReplyTimeout&) = delete;
  ScopedReplyTimeout& operator=(const ScopedReplyTimeout&) = delete;

 private:
  Transactor* link_;
};

}  // namespace q7k

#endif  // Q7K_LINK_TRANSACTOR_H_
