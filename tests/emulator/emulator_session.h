// EmulatorSession: an in-process emulator on a fresh pseudo-terminal with a
// HostLine connected to it, for the protocol tests. A failed start fails the
// test, and every exchange after it fails at once.
//
// Thread safety: one test thread (the emulator serves on its own).
#ifndef Q7K_TESTS_EMULATOR_EMULATOR_SESSION_H_
#define Q7K_TESTS_EMULATOR_EMULATOR_SESSION_H_

#include <gtest/gtest.h>

#include "emulator.h"
#include "emulator/host_line.h"

namespace q7k {
namespace testing_emu {

struct EmulatorSession {
  explicit EmulatorSession(const EmulatorOptions& options = {})
      : emulator(options), host(emulator.Start()) {
    EXPECT_TRUE(host.ok()) << emulator.error();
  }

  Emulator emulator;
  HostLine host;
};

}  // namespace testing_emu
}  // namespace q7k

#endif  // Q7K_TESTS_EMULATOR_EMULATOR_SESSION_H_
