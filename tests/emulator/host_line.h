// HostLine: the host's end of the virtual instrument's line, for tests that
// check the protocol bytes in and out: the tests' own frame encoder
// (support/wire.h) on the one far end (PtyPeer). EmulatorSession: an
// in-process emulator with a HostLine on it; a failed start fails the test.
//
// Thread safety: one test thread (the emulator serves on its own).
#ifndef Q7K_TESTS_EMULATOR_HOST_LINE_H_
#define Q7K_TESTS_EMULATOR_HOST_LINE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "emulator.h"
#include "support/pty_pair.h"
#include "support/wire.h"

namespace q7k {
namespace testing_emu {

inline Bytes Encode(const Bytes& frame) { return LineBytes(frame); }

inline constexpr std::chrono::milliseconds kDeadline{5000};

class HostLine {
 public:
  // Opens path; the instrument's end sets the line raw.
  explicit HostLine(const std::string& path);
  // Takes over an open descriptor (e.g. a pseudo-terminal's master side).
  explicit HostLine(int fd);
  ~HostLine();
  HostLine(const HostLine&) = delete;
  HostLine& operator=(const HostLine&) = delete;

  bool ok() const { return fd_ >= 0; }

  // Returns once the bytes are written.
  void SendRaw(const Bytes& bytes);
  void Send(uint16_t command, const Bytes& payload = {});
  // The line bytes of the next whole reply (any bytes before its DLE STX
  // included); empty when none completed before the deadline.
  Bytes ReadLine(std::chrono::milliseconds deadline = kDeadline);
  // Send, then read and take apart the reply.
  Frame Transact(uint16_t command, const Bytes& payload = {});
  // Everything not yet read until the line closes; false when it stays open
  // past the deadline.
  bool ReadUntilClosed(Bytes* got);

 private:
  int fd_ = -1;
  std::unique_ptr<PtyPeer> peer_;
  size_t taken_ = 0;  // received bytes already handed out
};

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

#endif  // Q7K_TESTS_EMULATOR_HOST_LINE_H_
