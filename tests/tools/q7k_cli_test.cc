// End-to-end runs of the built q7k program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace q7k {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
};

CliRun RunCli(const std::string& args) {
  CliRun r;
  const std::string command =
      std::string(Q7K_CLI_BINARY) + " " + args + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    r.out.append(buffer, n);
  }
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(Q7kCliTest, DemoRunsASimulatedPowerFactorTest) {
  ScopedTempDir dir;
  const CliRun r = RunCli("demo --fast");
  ASSERT_EQ(r.status, 0) << r.out;
  // The built-in specimen: 4.567 mA, 2.345 W, 678.9 pF at 10 kV and 60 Hz.
  EXPECT_NE(r.out.find("StopQ7kTest              ok"), std::string::npos);
  EXPECT_NE(r.out.find("Measured (after 8 polls)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("4.567 mA"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2.345 W"), std::string::npos);
  EXPECT_NE(r.out.find("678.9 pF"), std::string::npos);
  EXPECT_NE(r.out.find("Power factor                                2.87871 %"),
            std::string::npos)
      << r.out;
}

TEST(Q7kCliTest, ErrorsListsTheCodeSpaceInTheChosenLanguage) {
  const CliRun r = RunCli("--language fr errors");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 65);
  EXPECT_NE(r.out.find("[14] Essai non exécuté\n"), std::string::npos);
}

TEST(Q7kCliTest, FailuresExitNonZeroWithTheComponentsText) {
  ScopedTempDir dir;
  const std::string env =
      "Q7K_COM9=" + dir.File("absent") + " " + std::string(Q7K_CLI_BINARY);
  std::FILE* pipe = popen((env + " loopback --port 9 2>&1").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[512] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  const int status = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(std::string(buffer, n),
            "q7k: RunLoopbackTest failed: error 298: COM port not found\n");
  EXPECT_NE(RunCli("frobnicate").status, 0);
}

}  // namespace
}  // namespace q7k
