// A complete test session through the public API against the virtual
// instrument on a real pseudo-terminal, directly and through a serial
// device server; a firmware download and an EEPROM safe write through the
// server, and the server dying in the middle of a download.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/device_server.h"
#include "support/emulated_component.h"
#include "support/firmware_image.h"
#include "support/recording_progress_view.h"
#include "support/wire.h"

namespace q7k {
namespace {

class EmulatorEndToEndTest : public EmulatedComponentTest {
 protected:
  void RunSession();
  // Starts the instrument behind a device server and points the port, still
  // closed, at the server's COM-port-control accepter.
  void StartBehindADeviceServer(const EmulatorOptions& options) {
    ASSERT_NO_FATAL_FAILURE(Start(options, false));
    server_ = std::make_unique<DeviceServer>(ResolveSerialPortPath(kComPort));
    ASSERT_TRUE(server_->Start()) << server_->error();
    SetSerialPortPath(kComPort, server_->Url(true));
  }
  std::unique_ptr<DeviceServer> server_;
};

TEST_F(EmulatorEndToEndTest, PowerFactorSessionStartToFinish) {
  UseFakeClock();  // the component's waits only; the emulator's are real
  ASSERT_NO_FATAL_FAILURE(Start());
  RunSession();
}

TEST_F(EmulatorEndToEndTest, PowerFactorSessionThroughADeviceServer) {
  if (!DeviceServer::Installed()) GTEST_SKIP() << "ser2net not installed";
  UseFakeClock();
  ASSERT_NO_FATAL_FAILURE(StartBehindADeviceServer({}));
  ASSERT_EQ(comm_->OpenPort(kComPort, BPS_115200), S_OK);
  RunSession();
}

// The instrument runs 01.20.01 and the disk holds 01.20.02, so setting the
// port up downloads the disk's.
class EmulatorDeviceServerTest : public EmulatorEndToEndTest {
 protected:
  void SetUp() override {
    if (!DeviceServer::Installed()) GTEST_SKIP() << "ser2net not installed";
    UseFakeClock();  // the instrument's pauses pass at once
    EmulatorEndToEndTest::SetUp();
    ASSERT_TRUE(
        WriteFileBytes("Q7I.X0", ImageFile(kRecords, "01.20.02", &image_)));
    EmulatorOptions options;
    options.model.flash.firmware = Firmware("01.20.01");
    ASSERT_NO_FATAL_FAILURE(StartBehindADeviceServer(options));
  }
  emu::AppIdentity InstalledApp() {
    return emulator_->WithModel([](emu::InstrumentModel& m) {
      return m.apps().directory().back().identity;
    });
  }
  // The progress windows' messages in the order they opened.
  std::vector<std::string> Shown() const {
    std::vector<std::string> shown;
    for (const ProgressViewEvent& e : views_.events()) {
      if (e.kind == ProgressViewEvent::kOpen) {
        shown.push_back(Bstr(e.state.message).utf8());
      }
    }
    return shown;
  }

  static constexpr size_t kRecords = 2048;  // 256 blocks
  Bytes image_;
  RecordingProgressViews views_;
};

TEST_F(EmulatorDeviceServerTest, FirmwareDownloadWithProgress) {
  ASSERT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK) << Message();
  const auto entry = emulator_->WithModel(
      [](emu::InstrumentModel& m) { return m.apps().directory().back(); });
  EXPECT_TRUE(entry.identity.SameStamp(Firmware("01.20.02")));
  EXPECT_EQ(entry.origin, kImageOrigin);
  EXPECT_TRUE(entry.image == image_);
  EXPECT_EQ(Shown(), (std::vector<std::string>{
                         "Restarting Q7310 Boot Loader - Please Wait",
                         "Downloading Firmware to the Q7310 - Please Wait",
                         "Programming Q7310 Flash ROM - Please Wait"}));
  EXPECT_EQ(views_.open_views(), 0);
}

TEST_F(EmulatorDeviceServerTest, ServerKilledMidDownloadFailsThenReopens) {
  // The instrument keeps the 20th block unanswered, so the server dies while
  // the component waits for that reply.
  ASSERT_TRUE(emulator_->AddFault("silence@cmd=0x0B@every=20"));
  constexpr size_t kBeforeBlocks = 3;  // application info, restart, params
  std::thread killer([this] {
    emulator_->WaitForRequests(kBeforeBlocks + 20, std::chrono::seconds(60));
    server_->Stop();
  });
  EXPECT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), E_FAIL);
  killer.join();
  EXPECT_EQ(Code(), 297);
  EXPECT_EQ(emulator_->Requests().size(), kBeforeBlocks + 20);
  EXPECT_EQ(views_.open_views(), 0);
  EXPECT_EQ(Shown().size(), 2u);  // never "Programming"
  EXPECT_FALSE(InstalledApp().SameStamp(Firmware("01.20.02")));

  emulator_->ClearFaults();
  comm_->ClosePort();
  comm_->ClearError();
  // The instrument answers the kept block after all, with nobody connected:
  // the reply waits in the line for whoever connects next.
  const ReceivedRequest kept = emulator_->Requests().back();
  const Bytes line = LineBytes(RequestFrame(kept.command, kept.payload));
  const int fd = open(server_->device().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(write(fd, line.data(), line.size()), ssize_t(line.size()));
  pollfd answered = {fd, POLLIN, 0};
  EXPECT_EQ(poll(&answered, 1, 10000), 1);
  close(fd);
  ASSERT_TRUE(server_->Start()) << server_->error();
  ASSERT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK) << Message();
  EXPECT_TRUE(InstalledApp().SameStamp(Firmware("01.20.02")));
}

TEST_F(EmulatorDeviceServerTest, EepromSafeWrites) {
  ASSERT_EQ(comm_->OpenPort(kComPort, BPS_115200), S_OK);
  ComPtr<IQ7kEeprom> e;
  ASSERT_EQ(comm_.As(IID_IQ7kEeprom, &e), S_OK);
  short block[32];
  for (int i = 0; i < 32; ++i) block[i] = static_cast<short>(0x100 + i);
  const struct {
    const char* name;
    std::function<HRESULT()> write;
    int advance;  // of the write count
    short location;
    uint16_t value;  // expected there afterwards
  } cases[] = {
      {"int", [&] { return e->SafeWriteInt(0, 1, 40, 0x42); }, 3, 40, 0x42},
      {"32 words", [&] { return e->SafeWrite32(0, 1, 200, block); }, 34, 231,
       0x11F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto board = [this] {
      return emulator_->WithModel(
          [](emu::InstrumentModel& m) { return *m.boards().Find(0, 1); });
    };
    const emu::EepromWords before = board();
    ASSERT_EQ(c.write(), S_OK) << Message();
    const emu::EepromWords after = board();
    EXPECT_EQ(after[c.location], c.value);
    EXPECT_EQ(after[1], static_cast<uint16_t>(before[1] + c.advance));
    EXPECT_EQ(emu::WordSum(after), 0);
  }
}

void EmulatorEndToEndTest::RunSession() {
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

}  // namespace
}  // namespace q7k
