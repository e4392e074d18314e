// The in-process interface: the request log, restarts, state access.
#include "emulator.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

using std::chrono::milliseconds;

TEST(EmulatorApi, RequestLogRecordsWhatArrived) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.host->Transact(0x0002).Ack());
  Bytes address = {0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(s.host->Transact(0x7E06, address).Ack());
  EXPECT_EQ(s.host->Transact(0x0003, Bytes(2, 0)).NakNumber(), 2);
  ASSERT_TRUE(s.emulator.WaitForRequests(3, kDeadline));
  EXPECT_FALSE(s.emulator.WaitForRequests(4, milliseconds(20)));

  const std::vector<ReceivedRequest> log = s.emulator.Requests();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].command, 0x0002);
  EXPECT_EQ(log[0].reply, Bytes{0x06});
  EXPECT_EQ(log[1].command, 0x7E06);
  EXPECT_EQ(log[1].payload, address);
  EXPECT_EQ(log[1].reply, (Bytes{0x06, 0x0F, 0x5A}));
  EXPECT_EQ(log[2].reply, (Bytes{0x15, 2, 0}));
  s.emulator.ClearRequests();
  EXPECT_TRUE(s.emulator.Requests().empty());
}

TEST(EmulatorApi, StopAndStartContinueTheSession) {
  Emulator emulator;
  EXPECT_FALSE(emulator.running());
  std::string path = emulator.Start();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(emulator.running());
  EXPECT_EQ(emulator.path(), path);
  {
    HostLine host(path);
    ASSERT_TRUE(host.Transact(0x0008).Ack());
  }
  emulator.Stop();
  EXPECT_FALSE(emulator.running());
  EXPECT_EQ(emulator.path(), "");
  emulator.Stop();

  path = emulator.Start();
  ASSERT_FALSE(path.empty());
  HostLine host(path);
  Frame info = host.Transact(0x0001);
  EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
            "POSTLOAD");
}

TEST(EmulatorApi, ModelStateCanBeChangedBetweenExchanges) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    m.ReportWatchdog("WD");
    return 0;
  });
  EXPECT_EQ(s.host->Transact(0x0002).NakNumber(), 12);
  EXPECT_FALSE(s.emulator.WithModel(
      [](emu::InstrumentModel& m) { return m.watchdog_pending(); }));
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
