// A firmware download recorded through the port's threads (the fake clock
// keeps the client off the device), with a block the instrument leaves
// unanswered: the recording holds the line as the instrument saw it and
// the time-out as the component saw it.
#include <algorithm>
#include <chrono>
#include <future>

#include "support/emulated_component.h"
#include "support/firmware_image.h"
#include "support/recording_check.h"

namespace q7k {
namespace {

class SessionRecordingTest : public EmulatedComponentTest {
 protected:
  void SetUp() override {
    UseFakeClock();
    EmulatedComponentTest::SetUp();
    SetRecordingPath(dir_.File("session.pcapng"));
  }
  void TearDown() override {
    EmulatedComponentTest::TearDown();
    SetRecordingPath("");
  }
};

TEST_F(SessionRecordingTest, DownloadWithATimeOut) {
  Bytes image;
  ASSERT_TRUE(WriteFileBytes("Q7I.X0", ImageFile(64, "01.20.02", &image)));
  EmulatorOptions options;
  options.model.flash.firmware = Firmware("01.20.01");
  options.line.tracePath = dir_.File("emulator.trace");
  ASSERT_NO_FATAL_FAILURE(Start(options, false));
  ASSERT_TRUE(emulator_->AddFault("silence@cmd=0x0B@once"));

  auto setup = std::async(std::launch::async, [this] {
    return comm_->SetupComm(kComPort, BPS_115200, 5);
  });
  // Application info, restart, parameters, then the first block.
  ASSERT_TRUE(emulator_->WaitForRequests(4, std::chrono::seconds(60)));
  const auto waited = clock_->AdvanceToNextDeadline();
  EXPECT_EQ(setup.get(), E_FAIL);
  EXPECT_EQ(Code(), 133);
  comm_->ClosePort();
  comm_->ClearError();
  ASSERT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK) << Message();
  comm_->ClosePort();
  emulator_->Stop();

  const Recording r = LoadOrFail(dir_.File("session.pcapng"));
  EXPECT_EQ(LineBytes(r, RecordingDirection::kToInstrument),
            TraceBytes(options.line.tracePath, "rx"));
  EXPECT_EQ(LineBytes(r, RecordingDirection::kFromInstrument),
            TraceBytes(options.line.tracePath, "tx"));
  const auto kinds = EventKinds(r);
  ASSERT_FALSE(kinds.empty());
  EXPECT_EQ(kinds.front(), RecordingEventKind::kStart);
  EXPECT_EQ(kinds.back(), RecordingEventKind::kClose);
  // Each port the setups made is a section of its own: start, open ...
  // close.
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), RecordingEventKind::kStart),
            std::count(kinds.begin(), kinds.end(), RecordingEventKind::kClose));
  EXPECT_EQ(
      std::count(kinds.begin(), kinds.end(), RecordingEventKind::kTimeout), 1);
  const auto timeout = std::find_if(
      r.events.begin(), r.events.end(),
      [](const auto& e) { return e.kind == RecordingEventKind::kTimeout; });
  ASSERT_NE(timeout, r.events.end());
  EXPECT_EQ(timeout->command, 0x0B);
  EXPECT_EQ(timeout->number, static_cast<uint32_t>(waited.count()));
  ASSERT_NE(timeout + 1, r.events.end());
  EXPECT_EQ((timeout + 1)->kind, RecordingEventKind::kExchangeFailed);
  EXPECT_EQ((timeout + 1)->code, 133);
}

}  // namespace
}  // namespace q7k
