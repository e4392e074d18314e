// q7k.exe on its own, and against the Linux virtual instrument on a COM
// port of the wine prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/serial_peer.h"
#include "support/temp_dir.h"
#include "tools/q7k_expected_output.h"

namespace q7k {
namespace {

struct Case {
  std::string args;
  int status;
  std::vector<const char*> out;
  std::string err;
};

// Runs q7k.exe through the command interpreter in the current directory and
// checks the case; returns what it printed on standard output.
std::string Check(const Case& c) {
  std::string exe = "Z:" Q7K_CLI_BINARY;  // the build tree on wine's Z:
  std::replace(exe.begin(), exe.end(), '/', '\\');
  const std::string line = exe + " " + c.args + " >q7k.out 2>q7k.err";
  EXPECT_EQ(std::system(line.c_str()), c.status) << c.args;
  const std::string out = ReadFileBytes("q7k.out");
  for (const char* text : c.out) EXPECT_NE(out.find(text), out.npos) << out;
  const std::string err = ReadFileBytes("q7k.err");
  EXPECT_NE(err.find(c.err), err.npos) << c.args << "\n" << err;
  return out;
}

TEST(Q7kExeTest, RunsWithoutAnInstrument) {
  ScopedTempDir dir;
  const Case cases[] = {
      {"--help", 0, {"COMn, or the device named by Q7K_COM<n>"}, ""},
      {"demo --fast", 0, kSimulatedDemoLines, ""},
      // The component's French texts arrive as UTF-8.
      {"--language fr errors", 0, {"[14] Essai non exécuté\r\n"}, ""},
      {"demo --emulator", 2, {}, "run q7k-emulator at the far end of a serial"},
      {"--trace --port 12 info", 1, {}, "OpenPort failed: error 298"},
  };
  for (const Case& c : cases) Check(c);
  // From 10 on, the port is named in the device namespace.
  EXPECT_NE(ReadFileBytes("Q7kComm.log").find("(\\\\.\\COM12, "),
            std::string::npos);
}

TEST(Q7kExeTest, FirmwareCheckAndSessionOnTheVirtualInstrument) {
  ScopedTempDir dir;
  SerialPeer peer;
  if (!peer.error().empty()) GTEST_SKIP() << peer.error();
  // Only the boot loader and an empty flash, as demo --emulator has it.
  ASSERT_TRUE(peer.StartEmulator("--boot-loader --empty-flash"));
  const std::string port = " --port " + std::to_string(peer.comNumber());
  const Case cases[] = {
      {"flash sample", 0, {}, ""},
      {"--trace setup" + port,
       0,
       {"Instrument runs      Q7I      01.20.02"},
       ""},
      {"flash list" + port, 0, kFlashAfterSetupLines, ""},
      {"test run" + port, 0, kEmulatorSessionLines, ""},
  };
  for (const Case& c : cases) Check(c);
  EXPECT_NE(ReadFileBytes("Q7kComm.log").find("(" + peer.comName() + ", "),
            std::string::npos);
  const std::string info = Check({"--json info" + port, 0, {}, ""});
  EXPECT_EQ(nlohmann::json::parse(info)["application"]["version"], "01.20.02");
}

}  // namespace
}  // namespace q7k
