// A fixture for component tests against the virtual instrument, served on a
// pseudo-terminal opened as port 8.
#ifndef Q7K_TESTS_SUPPORT_EMULATED_COMPONENT_H_
#define Q7K_TESTS_SUPPORT_EMULATED_COMPONENT_H_

#include <memory>
#include <string>

#include "emulator.h"
#include "support/component_fixture.h"

namespace q7k {

class EmulatedComponentTest : public ComponentFixture {
 protected:
  static constexpr Q7K_PORT kComPort = static_cast<Q7K_PORT>(8);

  void TearDown() override {
    ComponentFixture::TearDown();
    if (emulator_) emulator_->Stop();
    SetSerialPortPath(kComPort, "");
  }
  // Starts a new instrument and, when told, opens the port to it.
  void Start(const EmulatorOptions& options = {}, bool open = true) {
    emulator_ = std::make_unique<Emulator>(options);
    Serve(open);
  }
  // Starts the instrument made already (e.g. with a callback set).
  void Serve(bool open = true) {
    const std::string path = emulator_->Start();
    ASSERT_FALSE(path.empty()) << emulator_->error();
    SetSerialPortPath(kComPort, path);
    if (open) {
      ASSERT_EQ(comm_->OpenPort(kComPort, BPS_115200), S_OK);
    }
  }

  std::unique_ptr<Emulator> emulator_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_EMULATED_COMPONENT_H_
