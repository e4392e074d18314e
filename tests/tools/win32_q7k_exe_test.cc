// q7k.exe as a technician runs it on Windows: help, the simulated demo, the
// in-process instrument it does not have, the device a port number names,
// and the firmware check and a session against the Linux virtual instrument
// on a COM port of the wine prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/serial_peer.h"
#include "support/temp_dir.h"
#include "tools/q7k_expected_output.h"

namespace q7k {
namespace {

struct ExeRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs q7k.exe through the command interpreter in the current directory.
ExeRun RunExe(const std::string& args) {
  std::string exe = "Z:" Q7K_CLI_BINARY;  // the build tree on wine's Z:
  std::replace(exe.begin(), exe.end(), '/', '\\');
  ExeRun r;
  std::FILE* pipe = _popen((exe + " " + args + " 2>q7k.err").c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    r.out.append(buffer, n);
  }
  r.status = _pclose(pipe);
  r.err = ReadFileBytes("q7k.err");
  return r;
}

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

struct Case {
  std::string args;
  int status;
  std::vector<const char*> out;
  std::string err;
};

void Check(const Case& c) {
  const ExeRun r = RunExe(c.args);
  EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out << r.err;
  for (const char* text : c.out) {
    EXPECT_TRUE(Has(r.out, text)) << c.args << ": " << text << "\n" << r.out;
  }
  EXPECT_TRUE(Has(r.err, c.err)) << c.args << "\n" << r.err;
}

TEST(Q7kExeTest, RunsWithoutAnInstrument) {
  ScopedTempDir dir;
  const Case cases[] = {
      {"--help", 0, {"COMn, or the device named by Q7K_COM<n>"}, ""},
      {"demo --fast", 0, kSimulatedDemoLines, ""},
      // The component's French texts reach the pipe as UTF-8.
      {"--language fr errors", 0, {"[14] Essai non exécuté\n"}, ""},
      {"demo --emulator", 2, {}, "run q7k-emulator at the far end of a serial"},
      {"--json demo --emulator", 2, {"\"message\": \"demo --emulator is not"},
       ""},
      {"--trace --port 12 info", 1, {}, "OpenPort failed: error 298"},
  };
  for (const Case& c : cases) Check(c);
  // From 10 on, the port is named in the device namespace.
  EXPECT_TRUE(Has(ReadFileBytes("Q7kComm.log"), "(\\\\.\\COM12, "));
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
      {"--trace setup" + port, 0, {"Instrument runs      Q7I      01.20.02"}, ""},
      {"flash list" + port, 0, kFlashAfterSetupLines, ""},
      {"test run" + port, 0, kEmulatorSessionLines, ""},
  };
  for (const Case& c : cases) Check(c);
  EXPECT_TRUE(Has(ReadFileBytes("Q7kComm.log"), "(" + peer.comName() + ", "));
  const ExeRun info = RunExe("--json info" + port);
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(nlohmann::json::parse(info.out)["application"]["version"],
            "01.20.02");
}

}  // namespace
}  // namespace q7k
