// Transactor: one command exchange with the instrument, as the command
// methods see it. InstrumentLink is the one that drives a port; an
// in-process instrument can stand in its place behind a CommandChannel, so
// command logic runs without a port, its threads or the clock.
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
  // verified positive reply in reply. False: the failure is recorded in the
  // error record.
  virtual bool Transmit(uint16_t command, const uint8_t* payload, size_t size,
                        MessageBuffer* reply) = 0;
  // The request half of Transmit.
  virtual bool SendOnly(uint16_t command, const uint8_t* payload,
                        size_t size) = 0;
  // The reply half, for a command sent with SendOnly.
  virtual bool ReceiveOnly(uint16_t command, MessageBuffer* reply) = 0;

  // True while every exchange succeeds without the instrument, the reply
  // left untouched.
  virtual bool Simulating() const = 0;
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
