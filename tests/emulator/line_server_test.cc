// The line itself: pacing, loopback, trace and the stable symlink.
#include "line_server.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/q7k-emu-line-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<std::string> Lines(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    // Drop the time stamp, which varies.
    lines.push_back(std::regex_replace(line, std::regex("^\\+[0-9.]+ "), ""));
  }
  return lines;
}

TEST(EmulatorLine, WireTimeCountsTenBitsAByte) {
  EXPECT_EQ(emu::WireTime(960, 9600), std::chrono::seconds(1));
  EXPECT_EQ(emu::WireTime(1, 100000), std::chrono::microseconds(100));
  EXPECT_EQ(emu::WireTime(1000, 0), std::chrono::microseconds(0));
}

TEST(EmulatorLine, PacedExchangesTakeAtLeastTheirWireTime) {
  EmulatorOptions options;
  options.line.baud = 9600;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  const auto start = steady_clock::now();
  s.host->Send(0x0001);  // 12 line bytes in, 77 out
  const Bytes reply = s.host->ReadLine(milliseconds(20000));
  const auto elapsed = steady_clock::now() - start;
  ASSERT_EQ(reply.size(), 77u);
  EXPECT_GE(elapsed, emu::WireTime(12 + 77, 9600));
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

TEST(EmulatorLine, LoopbackEchoesEveryByte) {
  EmulatorOptions options;
  options.line.loopback = true;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const Bytes line = Encode(Bytes(text.begin(), text.end()));
  s.host->SendRaw(line);
  EXPECT_EQ(s.host->ReadLine(), line);
  EXPECT_TRUE(s.emulator.Requests().empty());
}

TEST(EmulatorLine, TraceHasOneLinePerExchange) {
  TempDir dir;
  EmulatorOptions options;
  options.line.tracePath = dir.File("trace.txt");
  {
    EmulatorSession s(options);
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s.host->Transact(0x0002).Ack());
    ASSERT_TRUE(s.emulator.AddFault("silence@once"));
    s.host->Send(0x0007);
    Bytes bad = RequestFrame(0x0002, {});
    bad.back() ^= 1;
    s.host->SendRaw(Encode(bad));
    ASSERT_TRUE(s.host->Transact(0x0002).Ack());
  }
  const std::vector<std::string> lines = Lines(dir.File("trace.txt"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "rx 10 02 00 00 02 00 00 00 02 00 10 03 "
            "tx 10 02 00 00 FE FF 01 00 06 04 02 10 03");
  EXPECT_EQ(lines[1], "rx 10 02 00 00 07 00 00 00 07 00 10 03 tx - [silence]");
  EXPECT_EQ(lines[2], "rx 10 02 00 00 02 00 00 00 02 01 10 03 tx - [dropped]");
  EXPECT_EQ(lines[3], lines[0]);
}

TEST(EmulatorLine, SymlinkFollowsTheLine) {
  TempDir dir;
  EmulatorOptions options;
  options.line.linkPath = dir.File("q7k");
  Emulator emulator(options);
  const std::string path = emulator.Start();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(std::filesystem::read_symlink(dir.File("q7k")).string(), path);
  HostLine host(dir.File("q7k"));
  EXPECT_TRUE(host.Transact(0x0001).Ack());
  emulator.Stop();
  EXPECT_FALSE(std::filesystem::exists(
      std::filesystem::symlink_status(dir.File("q7k"))));

  // A regular file in the way is not replaced.
  std::ofstream(dir.File("taken")) << "x";
  options.line.linkPath = dir.File("taken");
  Emulator blocked(options);
  EXPECT_EQ(blocked.Start(), "");
  EXPECT_NE(blocked.error().find("is not a symlink"), std::string::npos);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
