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
using std::chrono::steady_clock;

TEST(EmulatorFaults, HeaderFaultsSpoilExactlyOneField) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  const Frame clean = s.host->Transact(0x0002);
  ASSERT_TRUE(clean.checksumOk);

  ASSERT_TRUE(s.emulator.AddFault("checksum@once"));
  Frame f = s.host->Transact(0x0002);
  EXPECT_FALSE(f.checksumOk);
  EXPECT_EQ(f.checksum, static_cast<uint16_t>(clean.checksum + 1));
  EXPECT_EQ(f.payload, clean.payload);

  ASSERT_TRUE(s.emulator.AddFault("number@once"));
  f = s.host->Transact(0x0002);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_EQ(f.number, 0xFFFF);

  ASSERT_TRUE(s.emulator.AddFault("length@once"));
  f = s.host->Transact(0x0002);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_EQ(f.length, 2);
  EXPECT_EQ(f.payload.size(), 1u);

  ASSERT_TRUE(s.emulator.AddFault("acknak@once"));
  f = s.host->Transact(0x0002);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_EQ(f.payload, Bytes{0x00});

  EXPECT_EQ(s.host->Transact(0x0002).payload, clean.payload);
}

TEST(EmulatorFaults, SilenceLeavesARequestUnanswered) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.emulator.AddFault("silence@cmd=2@once"));
  s.host->Send(0x0002);
  // The next bytes on the line answer the request after it.
  EXPECT_EQ(s.host->Transact(0x0001).number, 0xFFFF);
  ASSERT_EQ(s.emulator.Requests().size(), 2u);
  EXPECT_EQ(s.emulator.Requests()[0].command, 0x0002);
}

TEST(EmulatorFaults, SplitRepliesArriveWholeAfterThePauses) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  s.host->Send(0x0001);
  const Bytes clean = s.host->ReadLine();
  ASSERT_EQ(clean.size(), 77u);

  ASSERT_TRUE(s.emulator.AddFault("split=4,10@once"));
  const auto start = steady_clock::now();
  s.host->Send(0x0001);
  const Bytes split = s.host->ReadLine(milliseconds(20000));
  const auto elapsed = steady_clock::now() - start;
  EXPECT_EQ(split, clean);
  // 20 pieces, a pause after each but the last.
  EXPECT_GE(elapsed, milliseconds(19 * 10));
  EXPECT_LT(elapsed, milliseconds(15000));
}

TEST(EmulatorFaults, NoisePrecedesAValidFrame) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.emulator.AddFault("noise=6@once"));
  s.host->Send(0x0002);
  const Bytes line = s.host->ReadLine();
  ASSERT_EQ(line.size(), 6u + 13u);
  EXPECT_EQ(Bytes(line.begin(), line.begin() + 6),
            (Bytes{0x55, 0xAA, 0x00, 0xFF, 0x03, 0x02}));
  Frame f = Parse(Decode(line));
  EXPECT_TRUE(f.checksumOk);
  EXPECT_TRUE(f.Ack());
}

TEST(EmulatorFaults, OversizeFrameIsValidButTooLongForAHost) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.emulator.AddFault("oversize=400@once"));
  Frame f = s.host->Transact(0x0001);
  EXPECT_EQ(f.size, 400u);
  EXPECT_EQ(f.length, 392);
  EXPECT_TRUE(f.checksumOk);
  EXPECT_TRUE(f.Ack());
  ASSERT_TRUE(s.emulator.AddFault("oversize@once"));
  EXPECT_EQ(s.host->Transact(0x0002).size, 320u);
}

TEST(EmulatorFaults, NakReplacesTheReplyOfOneCommand) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.emulator.AddFault("nak=11,0200@cmd=0x7E06"));
  Bytes address(6, 0);
  EXPECT_EQ(s.host->Transact(0x7E06, address).payload,
            (Bytes{0x15, 11, 0, 0x02, 0x00}));
  EXPECT_EQ(s.host->Transact(0x7E06, address).NakNumber(), 11);
  EXPECT_TRUE(s.host->Transact(0x0001).Ack());
  s.emulator.ClearFaults();
  EXPECT_TRUE(s.host->Transact(0x7E06, address).Ack());
}

TEST(EmulatorFaults, RulesFireOnceEveryNthOrPerCommand) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.emulator.AddFault("checksum@cmd=1@every=2"));
  std::vector<bool> ok;
  for (uint16_t command : {1, 2, 1, 2, 1, 1}) {
    ok.push_back(s.host->Transact(command).checksumOk);
  }
  EXPECT_EQ(ok, (std::vector<bool>{true, true, false, true, true, false}));
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
  Bytes clean;
  {
    HostLine host(first);
    host.Send(0x0001);
    clean = host.ReadLine();
    ASSERT_TRUE(emulator.AddFault("close@once"));
    host.Send(0x0001);
    Bytes got;
    ASSERT_TRUE(host.ReadUntilClosed(&got));
    EXPECT_EQ(got, Bytes(clean.begin(), clean.begin() + clean.size() / 2));
  }
  std::unique_lock<std::mutex> lock(m);
  ASSERT_TRUE(cv.wait_for(lock, kDeadline, [&] { return !reopened.empty(); }));
  const std::string second = reopened;
  lock.unlock();
  EXPECT_EQ(emulator.path(), second);
  HostLine again(second);
  EXPECT_EQ(again.Transact(0x0001).number, 0xFFFF);
}

TEST(EmulatorFaults, MalformedRulesAreRejectedWithAReason) {
  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"garble", "unknown fault kind 'garble'"},
      {"nak", "needs an error number"},
      {"checksum=3", "bad arguments"},
      {"split=0", "bad arguments"},
      {"oversize=300", "bad arguments"},
      {"nak=5,0G", "bad arguments"},
      {"silence@sometimes", "bad trigger 'sometimes'"},
      {"silence@every=0", "bad trigger"},
      {"silence@cmd=0x10000", "bad trigger"},
  };
  for (const Case& c : cases) {
    emu::FaultRule rule;
    std::string error;
    EXPECT_FALSE(emu::ParseFaultRule(c.text, &rule, &error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  emu::FaultRule rule;
  std::string error;
  ASSERT_TRUE(emu::ParseFaultRule("split=3,7@cmd=0x7E06@once", &rule, &error));
  EXPECT_EQ(rule.kind, emu::FaultKind::kSplit);
  EXPECT_EQ(rule.splitChunk, 3u);
  EXPECT_EQ(rule.splitDelayMs, 7u);
  EXPECT_TRUE(rule.oneCommand);
  EXPECT_EQ(rule.command, 0x7E06);
  EXPECT_EQ(rule.when, emu::FaultRule::When::kOnce);

  Emulator emulator;
  EXPECT_FALSE(emulator.AddFault("garble"));
  EXPECT_NE(emulator.error().find("garble"), std::string::npos);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
