// A complete test session through the public API against the virtual
// instrument on a real pseudo-terminal, and a serial device server in front
// of it dying in the middle of a firmware download (every byte through the
// server: NetworkPortTest).
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "support/device_server.h"
#include "support/emulated_component.h"
#include "support/firmware_image.h"
#include "support/recording_progress_view.h"
#include "support/wire.h"

namespace q7k {
namespace {

using EmulatorEndToEndTest = EmulatedComponentTest;

TEST_F(EmulatorEndToEndTest, PowerFactorSessionStartToFinish) {
  UseFakeClock();  // the component's waits only; the emulator's are real
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(comm_->ReadAppInfo(), S_OK);
  ASSERT_EQ(comm_->StartPONSequence(), S_OK);

  Q7K_INIT_PARAMS init{};
  init.MaxVolts = 12;
  init.XfmrMaxTempTime = 3600;
  init.XfmrTemp = 35.0f;
  ASSERT_EQ(comm_->InitTestParams(&init), S_OK);
  Q7K_RUNTM_PARAMS run{};
  run.TestVoltage = 10000;
  run.Frequency = 60.0f;
  run.EnableVoltCorrect = VC_ENABLE;
  ASSERT_EQ(comm_->UpdateRuntimeParams(&run), S_OK);

  Q7K_TEST_PARAMS p{};
  p.KVolt = p.KVoltMax = 10.0f;
  p.Frequency = 60.0f;
  p.CapModel = p.IndModel = PARALLEL_MODEL;
  ASSERT_EQ(comm_->StartQ7kTest(&p), S_OK);
  EXPECT_TRUE(emulator_->WithModel(
      [](emu::InstrumentModel& m) { return m.tests().running(); }));

  Q7K_TEST_DATA d{};
  Q7K_THERMAL_DATA t{};
  int polls = 0, ranging = 0, settling = 0;
  do {
    ASSERT_EQ(comm_->FullRequestTestResults(&p, &d, &t), S_OK);
    ranging += p.Ranging ? 1 : 0;
    settling += p.VoltageSettling ? 1 : 0;
  } while ((p.Ranging || p.VoltageSettling) && ++polls < 20);
  EXPECT_EQ(ranging, 3);
  EXPECT_EQ(settling, 1);
  // The default specimen: 1 nF with a dissipation factor of 0.004.
  EXPECT_NEAR(d.ParallelCap, 1e-9, 1e-11);
  EXPECT_NEAR(d.TangentDelta, 0.004, 1e-4);
  EXPECT_NEAR(d.PowerFactor, 100 * 0.004 / std::sqrt(1 + 0.004 * 0.004), 0.01);
  const double amps = 2 * M_PI * 60.0 * 1e-9 * d.KVoltMeas * 1000.0;
  EXPECT_NEAR(d.Amperes, amps * std::sqrt(1 + 0.004 * 0.004), amps * 0.01);
  EXPECT_NEAR(d.FrequencyMeas, 60.0, 0.5);
  ASSERT_EQ(comm_->AdjustTestData(&p, &d), S_OK);
  ASSERT_EQ(comm_->StopQ7kTest(), S_OK);

  // Polling a stopped test: the instrument says why it is not running, and
  // the records keep their values.
  const Q7K_TEST_DATA before = d;
  EXPECT_EQ(comm_->FullRequestTestResults(&p, &d, &t), E_FAIL);
  EXPECT_EQ(d.Amperes, before.Amperes);
  EXPECT_EQ(Message().substr(0, 16), "Test Not Running");
}

TEST_F(EmulatorEndToEndTest, ServerKilledMidDownloadFailsThenReopens) {
  if (!DeviceServer::Installed()) GTEST_SKIP() << "ser2net not installed";
  UseFakeClock();  // the instrument's pauses pass at once
  // The instrument runs 01.20.01 and the disk holds 01.20.02 (256 blocks),
  // so setting the port up downloads the disk's.
  Bytes image;
  ASSERT_TRUE(WriteFileBytes("Q7I.X0", ImageFile(2048, "01.20.02", &image)));
  EmulatorOptions options;
  options.model.flash.firmware = Firmware("01.20.01");
  ASSERT_NO_FATAL_FAILURE(Start(options, false));
  // The port, still closed, leads to the server's COM-port-control accepter.
  DeviceServer server(ResolveSerialPortPath(kComPort));
  ASSERT_TRUE(server.Start()) << server.error();
  SetSerialPortPath(kComPort, server.Url(true));
  const auto installed = [this] {
    return emulator_->WithModel(
        [](emu::InstrumentModel& m) { return m.apps().directory().back(); });
  };
  RecordingProgressViews views;
  // The instrument keeps the 20th block unanswered, so the server dies while
  // the component waits for that reply.
  ASSERT_TRUE(emulator_->AddFault("silence@cmd=0x0B@every=20"));
  constexpr size_t kBeforeBlocks = 3;  // application info, restart, params
  std::thread killer([&] {
    emulator_->WaitForRequests(kBeforeBlocks + 20, std::chrono::seconds(60));
    server.Stop();
  });
  EXPECT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), E_FAIL);
  killer.join();
  EXPECT_EQ(Code(), 297);
  EXPECT_EQ(emulator_->Requests().size(), kBeforeBlocks + 20);
  EXPECT_EQ(views.open_views(), 0);
  const auto& events = views.events();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const ProgressViewEvent& e) {
                            return e.kind == ProgressViewEvent::kOpen;
                          }),
            2);  // restart and download, never programming
  EXPECT_FALSE(installed().identity.SameStamp(Firmware("01.20.02")));

  emulator_->ClearFaults();
  comm_->ClosePort();
  comm_->ClearError();
  // The instrument answers the kept block after all, with nobody connected:
  // the reply waits in the line for whoever connects next.
  const ReceivedRequest kept = emulator_->Requests().back();
  const Bytes line = LineBytes(RequestFrame(kept.command, kept.payload));
  const int fd = open(server.device().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(write(fd, line.data(), line.size()), ssize_t(line.size()));
  pollfd answered = {fd, POLLIN, 0};
  EXPECT_EQ(poll(&answered, 1, 10000), 1);
  close(fd);
  ASSERT_TRUE(server.Start()) << server.error();
  ASSERT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK) << Message();
  // Byte for byte, though the server's protocol escapes some bytes.
  const emu::FlashEntry entry = installed();
  EXPECT_TRUE(entry.identity.SameStamp(Firmware("01.20.02")));
  EXPECT_TRUE(entry.image == image);
}

}  // namespace
}  // namespace q7k
