// A complete test session through the public API against the virtual
// instrument on a real pseudo-terminal, directly and through a serial
// device server.
#include <cmath>
#include <memory>

#include "support/device_server.h"
#include "support/emulated_component.h"

namespace q7k {
namespace {

class EmulatorEndToEndTest : public EmulatedComponentTest {
 protected:
  void RunSession();
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
  ASSERT_NO_FATAL_FAILURE(Start({}, false));
  server_ = std::make_unique<DeviceServer>(ResolveSerialPortPath(kComPort));
  ASSERT_TRUE(server_->Start()) << server_->error();
  SetSerialPortPath(kComPort, server_->Url(true));
  ASSERT_EQ(comm_->OpenPort(kComPort, BPS_115200), S_OK);
  RunSession();
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
