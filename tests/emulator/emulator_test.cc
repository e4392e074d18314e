// The in-process interface: restarts and the board files kept across them.
#include "emulator.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "emulator/emulator_session.h"
#include "support/temp_dir.h"

namespace q7k {
namespace testing_emu {
namespace {

TEST(EmulatorApi, StopAndStartContinueTheSession) {
  Emulator emulator;
  std::string path = emulator.Start();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(HostLine(path).Transact(0x0008).Ack());  // into the boot loader
  emulator.Stop();
  EXPECT_FALSE(emulator.running());
  EXPECT_EQ(emulator.path(), "");
  emulator.Stop();

  path = emulator.Start();
  ASSERT_FALSE(path.empty());
  Frame info = HostLine(path).Transact(0x0001);
  EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
            "POSTLOAD");
}

TEST(EmulatorApi, BoardsPersistAcrossRestarts) {
  ScopedTempDir dir;
  EmulatorOptions options;
  options.boardDir = dir.path();
  const Bytes address = {0, 0, 3, 0, 64, 0};
  {
    EmulatorSession s(options);
    ASSERT_TRUE(s.host.Transact(0x7E04, Concat({address, Le16(0xBEEF)})).Ack());
  }
  EXPECT_EQ(std::filesystem::file_size(dir.File("board-0-3.bin")), 512u);
  {
    EmulatorSession s(options);
    EXPECT_EQ(Get16(s.host.Transact(0x7E06, address).payload, 1), 0xBEEF);
  }
  // A directory that cannot be made stops the start with a reason.
  options.boardDir = dir.File("board-0-3.bin/sub");
  Emulator bad(options);
  EXPECT_EQ(bad.Start(), "");
  EXPECT_NE(bad.error().find("board directory"), std::string::npos);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
