// InstrumentModel: the virtual Q7300 behind the serial line. Takes one
// request (command code and payload) and gives the reply the instrument
// sends, dispatching to its applications, test, service and board state.
//
// Refusals, checked in this order:
//   - a pending watchdog report answers the first command with NAK 12 and
//     its text (up to 64 bytes), whatever the command;
//   - a command not in the tables: NAK 3;
//   - a payload length other than the command's: NAK 2;
//   - measurement, service and board commands while the boot loader runs:
//     NAK 3 (the loader only knows the application commands);
//   - commands that would disturb a running test: NAK 4;
//   - then the command's own checks (NAK 5, 7, 9, 13, 14).
// Commands 0, 9 and 0x7E15, which hosts never send, are acknowledged and do
// nothing.
//
// Thread safety: none; the owner serialises access.
#ifndef Q7K_EMULATOR_INSTRUMENT_MODEL_H_
#define Q7K_EMULATOR_INSTRUMENT_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "app_store.h"
#include "board_store.h"
#include "reply.h"
#include "service_state.h"
#include "insulation_test_engine.h"

namespace q7k {
namespace emu {

struct ModelConfig {
  FlashConfig flash;
  TestConfig test;
  // Non-empty: the instrument has just come back from a watchdog reset and
  // answers the first command with NAK 12 and this text.
  std::string watchdogText;
};

class InstrumentModel {
 public:
  explicit InstrumentModel(const ModelConfig& config);

  Reply Handle(uint16_t command, const uint8_t* payload, size_t size);

  // Arms a watchdog report for the next command (empty text disarms it).
  void ReportWatchdog(const std::string& text) { watchdogText_ = text; }

  AppStore& apps() { return apps_; }
  TestEngine& tests() { return tests_; }
  BoardStore& boards() { return boards_; }
  ServiceState& service() { return service_; }
  const AppStore& apps() const { return apps_; }
  const TestEngine& tests() const { return tests_; }
  const BoardStore& boards() const { return boards_; }
  const ServiceState& service() const { return service_; }
  int power_on_count() const { return powerOns_; }
  bool watchdog_pending() const { return !watchdogText_.empty(); }

 private:
  Reply Dispatch(uint16_t command, const uint8_t* p, size_t n);
  Reply CalInfo() const;

  AppStore apps_;
  TestEngine tests_;
  BoardStore boards_;
  ServiceState service_;
  std::string watchdogText_;
  int powerOns_ = 0;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_INSTRUMENT_MODEL_H_
