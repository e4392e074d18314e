// Every fault the virtual instrument can put on a reply, on one call of each
// kind of command: the documented code and text, the port's state
// afterwards, a bounded return, and a clean call that succeeds next. The
// component's clock is fake, so a time-out costs no real time.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include "support/emulated_component.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kReplyTimeout{4000};
constexpr milliseconds kMargin{1500};  // a loaded machine, a split reply

struct Fault {
  const char* rule;  // fires once, on the call's own command
  short code;        // 0: the call succeeds
  const char* text;
  bool timesOut = false;
  bool closesLine = false;
};

const Fault kFaults[] = {
    {"checksum", 138, "Invalid Message Checksum"},
    {"number", 137, "Invalid Message Number"},
    {"length", 139, "Invalid Message Length"},
    {"acknak", 140, "Invalid Message ACK/NAK Byte"},
    {"oversize", 135, "Undefined Error"},
    {"nak=13,0300", 21, "Invalid Message Parameter - (Parameter #3)"},
    {"silence", 133, "No Response from Q7300, Check Connections", true},
    {"close", 297, "Windows OS Error", false, true},
    {"split=3,1", 0, ""},
    {"noise=512", 0, ""},
};

// What a call returned and the value it read.
using Result = std::pair<HRESULT, int64_t>;

// One kind of command: a call that makes one exchange and what a clean call
// reads.
struct Kind {
  const char* name;
  uint16_t command;
  std::function<Result(IQ7kComm*, IQ7kEeprom*)> call;
  int64_t value;
};

class FaultTableTest
    : public EmulatedComponentTest,
      public ::testing::WithParamInterface<std::tuple<Kind, Fault>> {
 protected:
  void SetUp() override {
    UseFakeClock();
    EmulatedComponentTest::SetUp();
    emulator_ = std::make_unique<Emulator>();
    emulator_->set_reopened_callback([this](const std::string& path) {
      std::lock_guard<std::mutex> lock(mutex_);
      path_ = path;
      reopened_.notify_all();
    });
    ASSERT_NO_FATAL_FAILURE(Serve());
    path_ = emulator_->path();
    ASSERT_EQ(comm_->StartQ7kTest(&p_), S_OK);  // result polls need one
  }

  // Runs the kind's call; a call that outlives its bound fails the test
  // and is released by moving the clock past every deadline.
  Result Call(const Kind& kind, bool timesOut, milliseconds* waited) {
    auto call = std::async(std::launch::async,
                           [&] { return kind.call(comm_.Get(), e_.Get()); });
    *waited = milliseconds(0);
    if (timesOut) *waited = clock_->AdvanceToNextDeadline();
    if (call.wait_for(kReplyTimeout + kMargin) != std::future_status::ready) {
      ADD_FAILURE() << kind.name << " did not return in time";
      while (call.wait_for(milliseconds(0)) != std::future_status::ready) {
        clock_->AdvanceToNextDeadline();
      }
    }
    return call.get();
  }
  std::string NewLine(const std::string& old) {
    std::unique_lock<std::mutex> lock(mutex_);
    reopened_.wait_for(lock, std::chrono::seconds(5),
                       [&] { return path_ != old; });
    return path_;
  }

  std::mutex mutex_;
  std::condition_variable reopened_;
  std::string path_;
};

// A braced list runs the call before it reads the value.
const Kind kKinds[] = {
    {"TestResults", 0x0006,
     [](IQ7kComm* comm, IQ7kEeprom*) {
       Q7K_TEST_PARAMS p{};
       p.SamplesToAvg = 10;
       Q7K_TEST_DATA d{};
       Q7K_THERMAL_DATA th{};
       return Result{comm->FullRequestTestResults(&p, &d, &th),
                     int64_t(th.CardCageTemp * 10.0f + 0.5f)};
     },
     335},
    {"ServiceRegister", 0x7E01,
     [](IQ7kComm* comm, IQ7kEeprom*) {
       int32_t value = 0;
       return Result{comm->RegRead(0x644020, &value), value};
     },
     4485},
    {"FlashDirectory", 0x000F,
     [](IQ7kComm* comm, IQ7kEeprom*) {
       short count = 0;
       return Result{comm->ReadFlashDirectory(),
                     comm->get_FlashDirCount(&count) == S_OK ? count : -1};
     },
     1},
    {"EepromWord", 0x7E06,
     [](IQ7kComm*, IQ7kEeprom* e) {
       short word = 0;
       return Result{e->ReadInt(0, 0, 0, &word), uint16_t(word)};
     },
     0x5A0F},
};

TEST_P(FaultTableTest, DocumentedCodePortStateAndRecovery) {
  const auto& [kind, fault] = GetParam();
  char rule[64];
  std::snprintf(rule, sizeof rule, "%s@cmd=0x%04X@once", fault.rule,
                kind.command);
  ASSERT_TRUE(emulator_->AddFault(rule)) << emulator_->error();
  comm_->ClearError();

  const std::string line = emulator_->path();
  milliseconds waited;
  const auto [hr, value] = Call(kind, fault.timesOut, &waited);
  if (fault.timesOut) {
    EXPECT_EQ(waited, kReplyTimeout + milliseconds(1));
  }
  if (fault.code == 0) {
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(value, kind.value);
  } else {
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(Code(), fault.code);
    EXPECT_EQ(Message(), fault.text);
  }
  // The link stays until the host closes it.
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 1);

  if (fault.closesLine) {
    // The port's failure is sticky: every call fails at once until the
    // host opens the port again.
    comm_->ClearError();
    EXPECT_EQ(Call(kind, false, &waited).first, E_FAIL);
    EXPECT_EQ(Code(), 297);
    comm_->ClosePort();
    SetSerialPortPath(kComPort, NewLine(line));
    ASSERT_EQ(comm_->OpenPort(kComPort, BPS_115200), S_OK);
  }
  EXPECT_EQ(Call(kind, false, &waited), Result(S_OK, kind.value)) << Message();
}

std::string RowName(
    const ::testing::TestParamInfo<std::tuple<Kind, Fault>>& info) {
  std::string fault = std::get<1>(info.param).rule;
  fault = fault.substr(0, fault.find('='));
  return std::string(std::get<0>(info.param).name) + "_" + fault;
}

INSTANTIATE_TEST_SUITE_P(EveryFaultOnEveryKind, FaultTableTest,
                         ::testing::Combine(::testing::ValuesIn(kKinds),
                                            ::testing::ValuesIn(kFaults)),
                         RowName);

}  // namespace
}  // namespace q7k
