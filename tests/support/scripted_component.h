// A fixture for component tests against a scripted instrument: a component
// object whose port 5 is a pseudo-terminal with the script on its far end,
// in a temporary current directory (so trace logs are the test's own).
#ifndef Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_
#define Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "q7kcomm/q7kcomm.h"
#include "support/fake_clock.h"
#include "support/pty_pair.h"
#include "support/scripted_instrument.h"
#include "support/temp_dir.h"

namespace q7k {

class ScriptedComponentTest : public ::testing::Test {
 protected:
  static constexpr int32_t kPort = 5;

  void SetUp() override {
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    SetSerialPortPath(kPort, pty_.slavePath());
    ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm_.AsVoidOut()),
              S_OK);
    ClearErrorInfo();
  }
  void TearDown() override {
    if (comm_) comm_->ClosePort();
    peer_.reset();
    SetSerialPortPath(kPort, "");
  }
  // Starts the far end with script and opens the port to it.
  void Connect(ScriptedInstrument::Script script) {
    instrument_ = std::make_unique<ScriptedInstrument>(std::move(script));
    peer_ = std::make_unique<PtyPeer>(pty_.master(), instrument_->Responder());
    ASSERT_EQ(comm_->OpenPort(static_cast<Q7K_PORT>(kPort), BPS_115200), S_OK);
  }
  // Runs the component on a FakeClock from here on: sleeps pass at once,
  // and a reply wait times out only at clock_->AdvanceToNextDeadline().
  void UseFakeClock() { clock_ = std::make_unique<FakeClock>(); }
  // The payload of the last request the instrument received.
  Bytes LastPayload() const {
    const auto requests = instrument_->Requests();
    return requests.empty() ? Bytes{} : requests.back().payload;
  }
  uint16_t LastCommand() const {
    const auto requests = instrument_->Requests();
    return requests.empty() ? 0 : requests.back().command;
  }
  short Code() {
    short code = 0;
    comm_->get_ErrorCode(&code);
    return code;
  }
  std::string Message() {
    Bstr msg;
    comm_->get_ErrorMsg(msg.out());
    return msg.utf8();
  }
  std::string TraceLog() { return ReadFileBytes(dir_.File("Q7kComm.log")); }

  std::unique_ptr<FakeClock> clock_;  // outlives the component's link
  ScopedTempDir dir_;
  PtyPair pty_;
  ComPtr<IQ7kComm> comm_;
  std::unique_ptr<ScriptedInstrument> instrument_;
  std::unique_ptr<PtyPeer> peer_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_
