// The in-process interface: the request log and restarts.
#include "emulator.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

TEST(EmulatorApi, RequestLogRecordsWhatArrivedAndTheReply) {
  EmulatorSession s;
  const Bytes address(6, 0);
  ASSERT_TRUE(s.host.Transact(0x7E06, address).Ack());
  EXPECT_EQ(s.host.Transact(0x0003, Bytes(2, 0)).NakNumber(), 2);
  ASSERT_TRUE(s.emulator.WaitForRequests(2, kDeadline));
  EXPECT_FALSE(s.emulator.WaitForRequests(3, std::chrono::milliseconds(20)));

  const std::vector<ReceivedRequest> log = s.emulator.Requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].command, 0x7E06);
  EXPECT_EQ(log[0].payload, address);
  EXPECT_EQ(log[0].reply, (Bytes{0x06, 0x0F, 0x5A}));
  EXPECT_EQ(log[1].reply, (Bytes{0x15, 2, 0}));
  s.emulator.ClearRequests();
  EXPECT_TRUE(s.emulator.Requests().empty());
}

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

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
