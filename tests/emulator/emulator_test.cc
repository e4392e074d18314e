// The in-process emulator beyond its replies: restarts and the board files
// kept across them; the line (pacing, loopback, trace, symlink, a given
// device); what the library's fault table cannot see (the pauses of a split
// reply, rules that persist, refused rules, a line closed mid-reply); and
// the model's own arithmetic at its edges.
#include "emulator.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "board_inventory.h"
#include "emulator/host_line.h"
#include "platform/posix_serial_rate.h"
#include "specimen.h"
#include "support/temp_dir.h"

namespace q7k {
namespace testing_emu {
namespace {

using std::chrono::milliseconds;

TEST(EmulatorApi, RestartsContinueTheSessionAndBoardsPersist) {
  ScopedTempDir dir;
  EmulatorOptions options;
  options.boardDir = dir.path();
  const Bytes address = {0, 0, 3, 0, 64, 0};
  Emulator emulator(options);
  std::promise<std::string> warned;  // outlives the emulator's worker
  emulator.set_warning_callback(
      [&](const std::string& what) { warned.set_value(what); });
  {
    HostLine host(emulator.Start());
    ASSERT_TRUE(host.Transact(0x7E04, Concat({address, Le16(0xBEEF)})).Ack());
    ASSERT_TRUE(
        std::filesystem::create_directory(dir.File("board-0-3.bin.tmp")));
    EXPECT_TRUE(host.Transact(0x7E04, Concat({address, Le16(1)})).Ack());
    EXPECT_TRUE(host.Transact(0x0008).Ack());  // into the boot loader
  }
  emulator.Stop();
  EXPECT_FALSE(emulator.running());
  EXPECT_EQ(emulator.path(), "");
  emulator.Stop();
  EXPECT_EQ(std::filesystem::file_size(dir.File("board-0-3.bin")), 512u);

  Frame info = HostLine(emulator.Start()).Transact(0x0001);
  EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
            "POSTLOAD");
  emulator.Stop();
  {
    EmulatorSession s(options);  // a new one reads the board files
    EXPECT_EQ(Get16(s.host.Transact(0x7E06, address).payload, 1), 0xBEEF);
  }
  std::future<std::string> what = warned.get_future();
  ASSERT_EQ(what.wait_for(kDeadline), std::future_status::ready);
  EXPECT_NE(what.get().find("board-0-3.bin.tmp"), std::string::npos);
}

TEST(EmulatorApi, AStartThatCannotServeSaysWhy) {
  ScopedTempDir dir;
  std::ofstream(dir.File("taken")) << "x";
  EmulatorOptions board, link, device;
  board.boardDir = dir.File("taken/sub");  // cannot be made
  link.line.linkPath = dir.File("taken");  // never replaces a regular file
  device.line.device = "/nonexistent/ttyQ7";
  const std::pair<EmulatorOptions, const char*> cases[] = {
      {board, "board directory"},
      {link, "is not a symlink"},
      {device, "open /nonexistent/ttyQ7"}};
  for (const auto& [options, why] : cases) {
    Emulator emulator(options);
    EXPECT_EQ(emulator.Start(), "") << why;
    EXPECT_NE(emulator.error().find(why), std::string::npos) << why;
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("taken")));
}

TEST(EmulatorLine, PacedAndSplitRepliesArriveWholeAfterTheirWireTime) {
  const struct {
    uint32_t baud;
    const char* fault;
    std::chrono::microseconds least;
  } cases[] = {
      // 12 bytes in and 77 out, ten bits each at 115200 bit/s: 7725 us; a
      // reply paced from too early an instant comes sooner.
      {115200, "", std::chrono::microseconds(7725)},
      // 20 pieces, a pause after each but the last.
      {0, "split=4,1@once", milliseconds(19)},
  };
  for (const auto& c : cases) {
    EmulatorOptions options;
    options.line.baud = c.baud;
    EmulatorSession s(options);
    s.host.Send(0x0001);
    const Bytes clean = s.host.ReadLine();
    ASSERT_EQ(clean.size(), 77u);
    if (*c.fault) {
      ASSERT_TRUE(s.emulator.AddFault(c.fault));
    }
    const auto start = std::chrono::steady_clock::now();
    s.host.Send(0x0001);
    EXPECT_EQ(s.host.ReadLine(milliseconds(20000)), clean) << c.fault;
    EXPECT_GE(std::chrono::steady_clock::now() - start, c.least) << c.fault;
  }
}

TEST(EmulatorLine, LoopbackEchoesEveryByte) {
  EmulatorOptions options;
  options.line.loopback = true;
  EmulatorSession s(options);
  const Bytes line = LineBytes(RequestFrame(0x0001, Bytes(40, 0x41)));
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
    s.host.SendRaw(LineBytes(bad));
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

TEST(EmulatorLine, ServesAGivenDevice) {
  // The test's own pseudo-terminal plays the serial device; the test is the
  // host on its master side.
  int master = -1, device = -1;
  ASSERT_EQ(openpty(&master, &device, nullptr, nullptr, nullptr), 0);
  const std::string devicePath = ttyname(device);
  EmulatorOptions options;
  options.line.device = devicePath;
  options.line.baud = 112500;  // an instrument rate without a Bnnn
  Emulator emulator(options);
  EXPECT_EQ(emulator.Start(), devicePath);
  uint32_t rate = 0;
  ASSERT_EQ(GetArbitraryBitRate(device, &rate), 0);
  EXPECT_EQ(rate, 112500u);
  ::close(device);
  HostLine host(master);
  EXPECT_EQ(host.Transact(0x0002).number, 0xFFFE);
  emulator.Stop();
}

TEST(EmulatorFaults, RulesStayUntilClearedAndBadOnesAreRefused) {
  EmulatorSession s;
  ASSERT_TRUE(s.emulator.AddFault("nak=11,0200@cmd=0x7E06"));
  const Bytes address(6, 0);
  EXPECT_EQ(s.host.Transact(0x7E06, address).payload,
            (Bytes{0x15, 11, 0, 0x02, 0x00}));
  EXPECT_EQ(s.host.Transact(0x7E06, address).NakNumber(), 11);
  EXPECT_TRUE(s.host.Transact(0x0001).Ack());
  s.emulator.ClearFaults();
  EXPECT_TRUE(s.host.Transact(0x7E06, address).Ack());

  EXPECT_FALSE(s.emulator.AddFault("nak"));
  EXPECT_NE(s.emulator.error().find("needs an error number"),
            std::string::npos);
  EXPECT_FALSE(s.emulator.AddFault("silence@sometimes"));
  EXPECT_NE(s.emulator.error().find("bad trigger 'sometimes'"),
            std::string::npos);
}

// The library's fault table sees the new line answer; here, what came
// before the close.
TEST(EmulatorFaults, CloseDropsTheLineMidReplyAndOpensANewOne) {
  std::promise<std::string> reopened;  // outlives the emulator's worker
  Emulator emulator;
  emulator.set_reopened_callback(
      [&](const std::string& path) { reopened.set_value(path); });
  HostLine host(emulator.Start());
  host.Send(0x0001);
  const Bytes clean = host.ReadLine();
  ASSERT_TRUE(emulator.AddFault("close@once"));
  host.Send(0x0001);
  Bytes got;
  ASSERT_TRUE(host.ReadUntilClosed(&got));
  EXPECT_EQ(got, Bytes(clean.begin(), clean.begin() + clean.size() / 2));
  std::future<std::string> path = reopened.get_future();
  ASSERT_EQ(path.wait_for(kDeadline), std::future_status::ready);
  EXPECT_EQ(emulator.path(), path.get());
}

TEST(EmulatorModel, TextStopsAtTheImageEnd) {
  emu::EepromWords w{};
  w[13] = 0xAAAA;
  emu::PutText(&w, 11, "ABCDEFG", 4);
  EXPECT_EQ(w[11], 0x4241);
  EXPECT_EQ(w[12], 0x4443);
  EXPECT_EQ(w[13], 0xAAAA);
  emu::PutText(&w, 255, "XYZ", 3);
  EXPECT_EQ(w[255], 0x5958);
  EXPECT_EQ(emu::GetText(w, 255, 3), "XY");
}

TEST(EmulatorModel, SpecimenEquivalentsOfTheOtherKindAreNegative) {
  const auto c = emu::Measure(emu::Specimen{1.0e-9, 0.0, 0.004}, 1e4, 60.0);
  EXPECT_NEAR(c.parallelCap, 1.0e-9, 1e-21);
  EXPECT_LT(c.parallelInd, 0.0);
  const auto l = emu::Measure(emu::Specimen{0.0, 2.0, 0.1}, 100.0, 60.0);
  EXPECT_NEAR(l.parallelInd, 2.0, 1e-12);
  EXPECT_LT(l.parallelCap, 0.0);
  // Nothing to measure gives zeros, not infinities.
  for (const auto& m : {emu::Measure(emu::Specimen{}, 100.0, 0.0),
                        emu::Measure(emu::Specimen{0, 0, 0}, 100, 60)}) {
    EXPECT_EQ(m.amperes, 0.0);
    EXPECT_EQ(m.parallelCap, 0.0);
    EXPECT_EQ(m.parallelRes, 0.0);
  }
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
