// The component as a host holds it: its error record read back, and a
// fixture with one object in a temporary current directory (so trace logs
// and files are the test's own) whose port is closed at the end.
#ifndef Q7K_TESTS_SUPPORT_COMPONENT_FIXTURE_H_
#define Q7K_TESTS_SUPPORT_COMPONENT_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "q7kcomm/q7kcomm.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace q7k {

inline short ErrorCode(IQ7kComm* comm) {
  short code = 0;
  comm->get_ErrorCode(&code);
  return code;
}

inline std::string ErrorText(IQ7kComm* comm) {
  Bstr text;
  comm->get_ErrorMsg(text.out());
  return text.utf8();
}

inline ComPtr<IQ7kComm> NewComponent() {
  ComPtr<IQ7kComm> comm;
  EXPECT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm.AsVoidOut()),
            S_OK);
  return comm;
}

class ComponentFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    comm_ = NewComponent();
    ASSERT_TRUE(comm_);
    ASSERT_EQ(comm_.As(IID_IQ7kEeprom, &e_), S_OK);
    ASSERT_EQ(comm_.As(IID_IQ7kCalStatus, &cal_), S_OK);
    ClearErrorInfo();
  }
  void TearDown() override {
    if (comm_) comm_->ClosePort();
  }
  // Runs the component on a FakeClock from here on: sleeps pass at once,
  // and a reply wait times out only at clock_->AdvanceToNextDeadline().
  void UseFakeClock() { clock_ = std::make_unique<FakeClock>(); }
  short Code() { return ErrorCode(comm_.Get()); }
  // A short property or answer, e.g. Get(&IQ7kComm::IsPortOpen).
  short Get(HRESULT (Q7K_STDCALL IQ7kComm::*get)(short*)) {
    short value = -1;
    (comm_.Get()->*get)(&value);
    return value;
  }
  std::string Message() { return ErrorText(comm_.Get()); }
  std::string TraceLog() { return ReadFileBytes(dir_.File("Q7kComm.log")); }

  std::unique_ptr<FakeClock> clock_;  // outlives the component's link
  ScopedTempDir dir_;
  ComPtr<IQ7kComm> comm_;
  ComPtr<IQ7kEeprom> e_;  // the same object's other interfaces
  ComPtr<IQ7kCalStatus> cal_;
  // Records for the calls that fill them.
  Q7K_TEST_PARAMS p_{};
  Q7K_TEST_DATA d_{};
  Q7K_THERMAL_DATA t_{};
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_COMPONENT_FIXTURE_H_
