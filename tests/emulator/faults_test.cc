// What the library's fault table cannot see: the pauses of a split reply,
// rules that persist, refused rules, and a line closed mid-reply.
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
