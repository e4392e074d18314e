#include "simulator/simulated_transactor.h"

#include <chrono>

#include "link/exchange_failure.h"
#include "platform/clock.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

constexpr std::chrono::milliseconds kTransactionTime{100};
constexpr std::chrono::milliseconds kLoopbackTime{2000};

// A plain wait on the component's clock: the host's windows are not pumped.
void Pause(std::chrono::milliseconds span) {
  Clock& clock = CurrentClock();
  clock.SleepUntil(clock.After(span));
}

}  // namespace

bool SimulatedTransactor::Transmit(uint16_t command, const uint8_t*, size_t,
                                   MessageBuffer*) {
  if (trace_) commandTrace_.Write(command, CommandTrace::kTransmit);
  Pause(kTransactionTime);
  return true;
}

bool SimulatedTransactor::SendOnly(uint16_t command, const uint8_t*, size_t) {
  if (trace_) commandTrace_.Write(command, CommandTrace::kSendOnly);
  return true;
}

bool SimulatedTransactor::ReceiveOnly(uint16_t command, MessageBuffer*) {
  if (trace_) commandTrace_.Write(command, CommandTrace::kReceiveOnly);
  return true;
}

bool SimulatedTransactor::RunLoopback() {
  Pause(kLoopbackTime);
  return true;
}

int32_t SimulatedTransactor::ErrorMessageId(int32_t code) {
  const int32_t id = MessageErrorId(code);
  return id != 0 ? id : ids::kUndefinedError;
}

}  // namespace q7k
