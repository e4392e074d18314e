// A fixture for component tests against a scripted instrument:
// ConnectInProcess puts the script behind the component's commands in the
// test's own process; Connect puts it on the far end of a pseudo-terminal
// opened as port 5, for tests of what the link and the port do.
#ifndef Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_
#define Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_

#include <memory>
#include <vector>

#include "component/q7k_comm_object.h"
#include "support/component_fixture.h"
#include "support/in_process_instrument.h"

namespace q7k {

class ScriptedComponentTest : public ComponentFixture {
 protected:
  static constexpr Q7K_PORT kPort = static_cast<Q7K_PORT>(5);

  void SetUp() override {
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    SetSerialPortPath(kPort, pty_.slavePath());
    ComponentFixture::SetUp();
  }
  void TearDown() override {
    ComponentFixture::TearDown();
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
    ASSERT_EQ(comm_->OpenPort(kPort, BPS_115200), S_OK);
  }
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

  PtyPair pty_;
  std::unique_ptr<ScriptedInstrument> instrument_;
  InProcessInstrument* inProcess_ = nullptr;  // owned by the component
  std::unique_ptr<PtyPeer> peer_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SCRIPTED_COMPONENT_H_
