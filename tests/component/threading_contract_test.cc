// The threading contract of the public headers: one object driven from
// several threads at once, where the host's message pump runs, and the rule
// that keeps later methods from forgetting the lock that makes it safe.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/emulated_component.h"

namespace q7k {
namespace {

using EmulatorThreadingTest = EmulatedComponentTest;

TEST_F(EmulatorThreadingTest, CallsFromSeveralThreadsNeverMix) {
  Start();

  // Two readers expect their own register's value; a third thread keeps
  // failing (a location out of range) and reads the error record back.
  constexpr int kRounds = 150;
  std::vector<std::string> faults[3];
  auto reader = [&](int who, int32_t address, int32_t expected) {
    for (int i = 0; i < kRounds; ++i) {
      int32_t value = 0;
      if (comm_->RegRead(address, &value) != S_OK || value != expected) {
        faults[who].push_back("register read " + std::to_string(value));
      }
    }
  };
  std::thread a(reader, 0, 0x642010, 2);
  std::thread b(reader, 1, 0x644020, 4485);
  std::thread c([&] {
    for (int i = 0; i < kRounds; ++i) {
      short value = 0;
      Bstr message;
      if (e_->ReadInt(0, 0, 999, &value) != E_FAIL ||
          comm_->get_ErrorMsg(message.out()) != S_OK ||
          message.utf8().find("Parameter") == std::string::npos) {
        faults[2].push_back("refused read: " + message.utf8());
      }
    }
  });
  a.join();
  b.join();
  c.join();
  for (const auto& f : faults) EXPECT_TRUE(f.empty()) << f.front();
}

TEST_F(EmulatorThreadingTest, PumpRunsReentrantlyButNotDuringTheReplyWait) {
  EmulatorOptions options;
  options.line.turnaroundMs = 300;
  Start(options);
  std::atomic<int> pumped{0};
  SetMessagePump([&] {
    ++pumped;
    short code = 0;
    comm_->get_ErrorCode(&code);  // the waiting thread's own call
  });
  EXPECT_EQ(comm_->TimerDelay(30, 1), S_OK);
  EXPECT_GE(pumped.load(), 1);
  pumped = 0;
  int32_t value = 0;
  EXPECT_EQ(comm_->RegRead(0x642010, &value), S_OK);
  EXPECT_LE(pumped.load(), 2);  // the send only; 10 ms slices would be ~30
  SetMessagePump(nullptr);
}

TEST(SerializedMethodsTest, EveryInterfaceMethodTakesTheObjectLockFirst) {
  const std::regex definition(
      R"(HRESULT Q7kCommObject::(\w+)\([^)]*\)\s*\{\s*([^\n]*))");
  int methods = 0;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::string(Q7K_SOURCE_DIR) + "/src/component")) {
    if (entry.path().extension() != ".cc") continue;
    const std::string text = ReadFileBytes(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), definition), end;
         it != end; ++it) {
      const std::string name = (*it)[1];
      if (name == "QueryInterface" || name == "ReportFailure") continue;
      ++methods;
      EXPECT_EQ((*it)[2], "const auto lock = Serialize();")
          << entry.path().filename() << ": " << name;
    }
  }
  EXPECT_GT(methods, 80);  // the pattern still finds the definitions
}

}  // namespace
}  // namespace q7k
