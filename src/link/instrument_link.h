// InstrumentLink: the component's connection to the instrument. A CommPort
// that adds the message layer: Transmit sends one request frame and waits
// for the matching reply; SendOnly / ReceiveOnly are its two halves for
// commands whose reply is fetched separately. Every failure is classified,
// recorded in the component's ErrorState and dumped to the trace log.
//
// Without a message pump, and on a clock that runs in real time, the
// client's thread writes the request and reads the reply itself (CommPort's
// WriteDirect and ReadDirect): a short exchange then costs no thread
// hand-off. Otherwise the bytes go through the port's queues and threads,
// which start at the first such exchange (ThreadStart::kWhenNeeded).
//
// Waiting never spins: the reply wait sleeps on the device or until the
// reader thread signals new bytes, or the time-out passes; the send wait
// sleeps until the writer thread has taken the bytes; waits that keep the
// host's windows alive call the host's message pump at least every 10 ms.
//
// Thread safety: every method runs on the client's thread; the port's
// threads are reached only through the queues and the port's locks.
#ifndef Q7K_LINK_INSTRUMENT_LINK_H_
#define Q7K_LINK_INSTRUMENT_LINK_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/comm_port.h"
#include "link/command_trace.h"
#include "link/line_codec.h"
#include "link/message_buffer.h"
#include "link/transactor.h"
#include "platform/clock.h"

namespace q7k {

class ErrorReporter;

inline constexpr char kLoopbackText[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

class InstrumentLink : public CommPort, public Transactor {
 public:
  // Opens portName (as port creation builds it) with settings; the link
  // exists even when opening failed (status() tells why). Failures are
  // recorded in errors.
  // REQUIRES: errors outlives the link, or DetachErrors is called first.
  InstrumentLink(ErrorReporter* errors, const std::string& portName,
                 const PortSettings& settings);
  ~InstrumentLink() override;

  // Lets go of the error record, which its owner is about to destroy; the
  // link is only destroyed afterwards, with no exchange in between.
  void DetachErrors() { errors_ = nullptr; }

  // Sends command with payload (payloadSize bytes, null when 0) and waits
  // for a verified positive reply in reply, read with Payload() and
  // PayloadRemaining(). False: the failure is recorded and dumped.
  bool Transmit(uint16_t command, const uint8_t* payload, size_t payloadSize,
                MessageBuffer* reply) override;
  // The request half: sends without waiting for the reply.
  bool SendOnly(uint16_t command, const uint8_t* payload,
                size_t payloadSize) override;
  // The reply half: receives and verifies the reply to a command sent with
  // SendOnly.
  bool ReceiveOnly(uint16_t command, MessageBuffer* reply) override;
  // Sends the loopback text and expects it back within the time-out.
  bool RunLoopback() override;

  // Returns after milliseconds; calls the host's message pump while waiting
  // when pump is set.
  void Wait(uint32_t milliseconds, bool pump);
  // Dispatches the host's pending UI events (the host's pump, if any).
  static void PumpMessages();

  int32_t ErrorMessageId(int32_t code) override;
  // The same for a link error number recorded earlier, without a link.
  static int32_t CodeMessageId(int32_t code);
  void SetReplyTimeout(int32_t ms) override { responseTimeout = ms; }

  int32_t responseTimeout = kDefaultResponseTimeoutMs;  // ms, or kNoTimeout
  bool trace = false;

 private:
  int32_t SendFrame(const uint8_t* frame, size_t count);
  int32_t ReceiveFrame(MessageBuffer* reply);
  // The queued path's take: every byte in the RxQueue, or, when more wait
  // than a reply may hold, none (count says how many wait).
  PortTransfer ReadQueued(uint8_t* block);
  Clock::TimePoint ReplyDeadline(Clock::TimePoint start) const;
  std::string ErrorLabel() const;
  // The time-out and the failure in the session's recording, if any: the
  // error number as the component now reports it.
  void RecordFailureInSession(uint16_t command, int32_t code);

  ErrorReporter* errors_;
  CommandTrace commandTrace_;
  LineDecoder decoder_;
  int64_t waitedMs_ = 0;  // the last reply wait that timed out
};

}  // namespace q7k

#endif  // Q7K_LINK_INSTRUMENT_LINK_H_
