// EmulatorSession: an in-process emulator on a fresh pseudo-terminal with a
// HostLine connected to it, for the protocol tests.
//
// Thread safety: one test thread (the emulator serves on its own).
#ifndef Q7K_TESTS_EMULATOR_EMULATOR_SESSION_H_
#define Q7K_TESTS_EMULATOR_EMULATOR_SESSION_H_

#include <memory>
#include <string>

#include "emulator.h"
#include "emulator/host_line.h"

namespace q7k {
namespace testing_emu {

struct EmulatorSession {
  explicit EmulatorSession(const EmulatorOptions& options = {})
      : emulator(options) {
    path = emulator.Start();
    host = std::make_unique<HostLine>(path);
  }
  bool ok() const { return !path.empty() && host->ok(); }

  Emulator emulator;
  std::string path;
  std::unique_ptr<HostLine> host;
};

}  // namespace testing_emu
}  // namespace q7k

#endif  // Q7K_TESTS_EMULATOR_EMULATOR_SESSION_H_
