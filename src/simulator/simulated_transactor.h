// SimulatedTransactor: the built-in instrument on a port created in
// simulation. It stands in for the port's link for every command: nothing
// goes on the line, every exchange succeeds (a whole transaction after
// 100 ms, each half at once) and leaves the reply without a frame, so no
// decode runs and no output changes; the loopback passes after 2 s. The
// per-command trace entries are written as the link writes them.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_SIMULATOR_SIMULATED_TRANSACTOR_H_
#define Q7K_SIMULATOR_SIMULATED_TRANSACTOR_H_

#include <cstddef>
#include <cstdint>

#include "link/command_trace.h"
#include "link/transactor.h"

namespace q7k {

class SimulatedTransactor final : public Transactor {
 public:
  // trace: write the per-command entries (the port's trace switch).
  explicit SimulatedTransactor(bool trace) : trace_(trace) {}

  bool Transmit(uint16_t command, const uint8_t* payload, size_t size,
                MessageBuffer* reply) override;
  bool SendOnly(uint16_t command, const uint8_t* payload,
                size_t size) override;
  bool ReceiveOnly(uint16_t command, MessageBuffer* reply) override;
  bool RunLoopback() override;
  // No reply is awaited, so there is no time-out to keep.
  void SetReplyTimeout(int32_t) override {}
  int32_t ErrorMessageId(int32_t code) override;

 private:
  bool trace_;
  CommandTrace commandTrace_;
};

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATED_TRANSACTOR_H_
