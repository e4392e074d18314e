// The line itself: pacing, loopback, trace and the stable symlink.
#include "line_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "emulator/emulator_session.h"
#include "support/temp_dir.h"

namespace q7k {
namespace testing_emu {
namespace {

using std::chrono::milliseconds;

TEST(EmulatorLine, PacedExchangesTakeAtLeastTheirWireTime) {
  EmulatorOptions options;
  options.line.baud = 115200;
  EmulatorSession s(options);
  const auto start = std::chrono::steady_clock::now();
  s.host.Send(0x0001);
  ASSERT_EQ(s.host.ReadLine(milliseconds(20000)).size(), 77u);
  // 12 bytes in and 77 out, ten bits each at 115200 bit/s: 7725 us; a reply
  // paced from too early an instant comes sooner.
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::microseconds(7725));
}

TEST(EmulatorLine, LoopbackEchoesEveryByte) {
  EmulatorOptions options;
  options.line.loopback = true;
  EmulatorSession s(options);
  const Bytes line = Encode(RequestFrame(0x0001, Bytes(40, 0x41)));
  s.host.SendRaw(line);
  EXPECT_EQ(s.host.ReadLine(), line);
  EXPECT_TRUE(s.emulator.Requests().empty());
}

TEST(EmulatorLine, TraceHasOneLinePerExchange) {
  ScopedTempDir dir;
  EmulatorOptions options;
  options.line.tracePath = dir.File("trace.txt");
  {
    EmulatorSession s(options);
    ASSERT_TRUE(s.host.Transact(0x0002).Ack());
    ASSERT_TRUE(s.emulator.AddFault("silence@once"));
    s.host.Send(0x0007);
    Bytes bad = RequestFrame(0x0002, {});
    bad.back() ^= 1;
    s.host.SendRaw(Encode(bad));
    ASSERT_TRUE(s.host.Transact(0x0002).Ack());
  }
  std::ifstream in(dir.File("trace.txt"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line.substr(line.find(' ') + 1));  // after the time stamp
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "rx 10 02 00 00 02 00 00 00 02 00 10 03 "
            "tx 10 02 00 00 FE FF 01 00 06 04 02 10 03");
  EXPECT_EQ(lines[1], "rx 10 02 00 00 07 00 00 00 07 00 10 03 tx - [silence]");
  EXPECT_EQ(lines[2], "rx 10 02 00 00 02 00 00 00 02 01 10 03 tx - [dropped]");
  EXPECT_EQ(lines[3], lines[0]);
}

TEST(EmulatorLine, SymlinkNeverReplacesARegularFile) {
  ScopedTempDir dir;
  std::ofstream(dir.File("taken")) << "x";
  EmulatorOptions options;
  options.line.linkPath = dir.File("taken");
  Emulator blocked(options);
  EXPECT_EQ(blocked.Start(), "");
  EXPECT_NE(blocked.error().find("is not a symlink"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("taken")));
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
