// A fixture for component tests against a scripted instrument, in a
// temporary current directory (so trace logs are the test's own):
// ConnectInProcess puts the script behind the component's commands in the
// test's own process; Connect puts it on the far end of a pseudo-terminal
// opened as port 5, for tests of what the link and the port do.
#ifndef Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_
#define Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/q7k_comm_object.h"
#include "q7kcomm/q7kcomm.h"
#include "support/component_errors.h"
#include "support/fake_clock.h"
#include "support/in_process_instrument.h"
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
  // Answers the component's commands with script, in-process.
  void ConnectInProcess(ScriptedInstrument::Script script) {
    auto* object = static_cast<Q7kCommObject*>(comm_.Get());
    object->AttachTransactor([&](ErrorReporter* errors) {
      auto instrument =
          std::make_unique<InProcessInstrument>(errors, std::move(script));
      inProcess_ = instrument.get();
      return instrument;
    });
  }
  // Starts the far end with script and opens the port to it.
  void Connect(ScriptedInstrument::Script script) {
    inProcess_ = nullptr;
    instrument_ = std::make_unique<ScriptedInstrument>(std::move(script));
    peer_ = std::make_unique<PtyPeer>(pty_.master(), instrument_->Responder());
    ASSERT_EQ(comm_->OpenPort(static_cast<Q7K_PORT>(kPort), BPS_115200), S_OK);
  }
  // Runs the component on a FakeClock from here on: sleeps pass at once,
  // and a reply wait times out only at clock_->AdvanceToNextDeadline().
  void UseFakeClock() { clock_ = std::make_unique<FakeClock>(); }
  std::vector<Request> Requests() const {
    return inProcess_ != nullptr ? inProcess_->requests()
                                 : instrument_->Requests();
  }
  // The last request the instrument received; an empty one before any.
  Request Last() const {
    const auto requests = Requests();
    return requests.empty() ? Request{} : requests.back();
  }
  Bytes LastPayload() const { return Last().payload; }
  uint16_t LastCommand() const { return Last().command; }
  short Code() { return ErrorCode(comm_.Get()); }
  std::string Message() { return ErrorText(comm_.Get()); }
  std::string TraceLog() { return ReadFileBytes(dir_.File("Q7kComm.log")); }

  std::unique_ptr<FakeClock> clock_;  // outlives the component's link
  ScopedTempDir dir_;
  PtyPair pty_;
  ComPtr<IQ7kComm> comm_;
  std::unique_ptr<ScriptedInstrument> instrument_;
  InProcessInstrument* inProcess_ = nullptr;  // owned by the component
  std::unique_ptr<PtyPeer> peer_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_
