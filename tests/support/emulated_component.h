// A fixture for component tests against the virtual instrument, served on a
// pseudo-terminal opened as port 8, in a temporary current directory.
#ifndef Q7K_TESTS_SUPPORT_EMULATED_COMPONENT_H_
#define Q7K_TESTS_SUPPORT_EMULATED_COMPONENT_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "emulator.h"
#include "q7kcomm/q7kcomm.h"
#include "support/component_errors.h"
#include "support/temp_dir.h"

namespace q7k {

class EmulatedComponentTest : public ::testing::Test {
 protected:
  static constexpr Q7K_PORT kComPort = static_cast<Q7K_PORT>(8);

  void SetUp() override {
    ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm_.AsVoidOut()),
              S_OK);
  }
  void TearDown() override {
    if (comm_) comm_->ClosePort();
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
  short Code() { return ErrorCode(comm_.Get()); }
  std::string Message() { return ErrorText(comm_.Get()); }

  ScopedTempDir dir_;
  std::unique_ptr<Emulator> emulator_;
  ComPtr<IQ7kComm> comm_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_EMULATED_COMPONENT_H_
