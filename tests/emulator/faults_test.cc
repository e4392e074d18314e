// Each fault kind as a host sees it on the wire, and when rules fire.
#include "faults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

using std::chrono::milliseconds;

TEST(EmulatorFaults, HeaderFaultsSpoilExactlyOneField) {
  EmulatorSession s;
  const Frame clean = s.host.Transact(0x0002);
  ASSERT_TRUE(clean.checksumOk);

  ASSERT_TRUE(s.emulator.AddFault("checksum@once"));
  Frame f = s.host.Transact(0x0002);
  EXPECT_EQ(f.checksum, static_cast<uint16_t>(clean.checksum + 1));
  EXPECT_EQ(f.payload, clean.payload);
  ASSERT_TRUE(s.emulator.AddFault("number@once"));
  f = s.host.Transact(0x0002);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_EQ(f.number, 0xFFFF);
  ASSERT_TRUE(s.emulator.AddFault("length@once"));
  f = s.host.Transact(0x0002);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_EQ(f.length, 2);
  EXPECT_EQ(f.payload.size(), 1u);
  ASSERT_TRUE(s.emulator.AddFault("acknak@once"));
  f = s.host.Transact(0x0002);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_EQ(f.payload, Bytes{0x00});
  EXPECT_EQ(s.host.Transact(0x0002).payload, clean.payload);
}

TEST(EmulatorFaults, SilenceNoiseAndOversizeFrames) {
  EmulatorSession s;
  ASSERT_TRUE(s.emulator.AddFault("silence@cmd=2@once"));
  s.host.Send(0x0002);
  // The next bytes on the line answer the request after it.
  EXPECT_EQ(s.host.Transact(0x0001).number, 0xFFFF);

  ASSERT_TRUE(s.emulator.AddFault("noise=6@once"));
  s.host.Send(0x0002);
  const Bytes line = s.host.ReadLine();
  ASSERT_EQ(line.size(), 6u + 13u);
  EXPECT_EQ(Bytes(line.begin(), line.begin() + 6),
            (Bytes{0x55, 0xAA, 0x00, 0xFF, 0x03, 0x02}));
  EXPECT_TRUE(Parse(Decode(line)).checksumOk);

  ASSERT_TRUE(s.emulator.AddFault("oversize=400@once"));
  Frame f = s.host.Transact(0x0001);
  EXPECT_EQ(f.size, 400u);
  EXPECT_EQ(f.length, 392);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_TRUE(f.Ack());
}

TEST(EmulatorFaults, SplitRepliesArriveWholeAfterThePauses) {
  EmulatorSession s;
  s.host.Send(0x0001);
  const Bytes clean = s.host.ReadLine();
  ASSERT_EQ(clean.size(), 77u);
  ASSERT_TRUE(s.emulator.AddFault("split=4,1@once"));
  const auto start = std::chrono::steady_clock::now();
  s.host.Send(0x0001);
  EXPECT_EQ(s.host.ReadLine(milliseconds(20000)), clean);
  // 20 pieces, a pause after each but the last.
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(19));
}

TEST(EmulatorFaults, RulesFireOnceEveryNthOrPerCommandAndBadOnesAreRefused) {
  EmulatorSession s;
  ASSERT_TRUE(s.emulator.AddFault("nak=11,0200@cmd=0x7E06"));
  const Bytes address(6, 0);
  EXPECT_EQ(s.host.Transact(0x7E06, address).payload,
            (Bytes{0x15, 11, 0, 0x02, 0x00}));
  EXPECT_EQ(s.host.Transact(0x7E06, address).NakNumber(), 11);
  EXPECT_TRUE(s.host.Transact(0x0001).Ack());
  s.emulator.ClearFaults();
  EXPECT_TRUE(s.host.Transact(0x7E06, address).Ack());

  ASSERT_TRUE(s.emulator.AddFault("checksum@cmd=1@every=2"));
  std::vector<bool> ok;
  for (uint16_t command : {1, 2, 1, 2, 1, 1}) {
    ok.push_back(s.host.Transact(command).checksumOk);
  }
  EXPECT_EQ(ok, (std::vector<bool>{true, true, false, true, true, false}));

  EXPECT_FALSE(s.emulator.AddFault("nak"));
  EXPECT_NE(s.emulator.error().find("needs an error number"),
            std::string::npos);
  EXPECT_FALSE(s.emulator.AddFault("silence@sometimes"));
  EXPECT_NE(s.emulator.error().find("bad trigger 'sometimes'"),
            std::string::npos);
}

TEST(EmulatorFaults, CloseDropsTheLineMidReplyAndOpensANewOne) {
  Emulator emulator;
  std::mutex m;
  std::condition_variable cv;
  std::string reopened;
  emulator.set_reopened_callback([&](const std::string& path) {
    std::lock_guard<std::mutex> lock(m);
    reopened = path;
    cv.notify_all();
  });
  const std::string first = emulator.Start();
  ASSERT_FALSE(first.empty());
  {
    HostLine host(first);
    host.Send(0x0001);
    const Bytes clean = host.ReadLine();
    ASSERT_TRUE(emulator.AddFault("close@once"));
    host.Send(0x0001);
    Bytes got;
    ASSERT_TRUE(host.ReadUntilClosed(&got));
    EXPECT_EQ(got, Bytes(clean.begin(), clean.begin() + clean.size() / 2));
  }
  std::unique_lock<std::mutex> lock(m);
  ASSERT_TRUE(cv.wait_for(lock, kDeadline, [&] { return !reopened.empty(); }));
  EXPECT_EQ(emulator.path(), reopened);
  EXPECT_EQ(HostLine(reopened).Transact(0x0001).number, 0xFFFF);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
