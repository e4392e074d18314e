// q7k.exe on its own, and against the Linux virtual instrument on a COM
// port of the wine prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "link/recording_format.h"
#include "support/serial_peer.h"
#include "support/temp_dir.h"
#include "support/wire.h"
#include "tools/q7k_expected_output.h"

namespace q7k {
namespace {

// Runs q7k.exe through the command interpreter in the current directory,
// expecting the exit status and texts in its output; returns the output.
std::string RunExe(const std::string& args, int status,
                   const std::vector<const char*>& texts = {}) {
  std::string line = "Z:" Q7K_CLI_BINARY " " + args + " >q7k.out 2>q7k.err";
  std::replace(line.begin(), line.end(), '/', '\\');  // on wine's Z:
  EXPECT_EQ(std::system(line.c_str()), status) << args;
  const std::string out = ReadFileBytes("q7k.out") + ReadFileBytes("q7k.err");
  for (const char* text : texts) {
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  }
  return ReadFileBytes("q7k.out");
}

TEST(Q7kExeTest, RunsWithoutAnInstrument) {
  ScopedTempDir dir;
  const struct {
    const char* args;
    int status;
    std::vector<const char*> texts;
  } cases[] = {
      {"--help", 0, {"COMn, or the device named by Q7K_COM<n>"}},
      {"demo --fast", 0, kSimulatedDemoLines},
      // The component's French texts arrive as UTF-8.
      {"--language fr errors", 0, {"[14] Essai non exécuté\r\n"}},
      {"demo --emulator", 2, {"run q7k-emulator at the far end of a serial"}},
      {"--trace --port 12 info", 1, {"OpenPort failed: error 298"}},
  };
  for (const auto& c : cases) RunExe(c.args, c.status, c.texts);
  // From 10 on, the port is named in the device namespace.
  EXPECT_NE(ReadFileBytes("Q7kComm.log").find("(\\\\.\\COM12, "),
            std::string::npos);
}

// decode links its own copy of the internals beside the DLL.
TEST(Q7kExeTest, DecodesARecording) {
  ScopedTempDir dir;
  std::vector<uint8_t> file;
  AppendRecordingHeader("q7kcomm 1.00.15", "COM3", &file);
  const Bytes request = LineBytes(
      RequestFrame(0x7E06, Concat({Le16(1), Le16(0), Le16(16)})));
  const Bytes nak = LineBytes(NakFrame(0x7E06, 3));
  AppendRecordingData(1000, RecordingDirection::kToInstrument, request.data(),
                      request.size(), &file);
  AppendRecordingData(2250, RecordingDirection::kFromInstrument, nak.data(),
                      nak.size(), &file);
  WriteFileBytes("s.pcapng", std::string(file.begin(), file.end()));
  EXPECT_EQ(RunExe("decode s.pcapng", 0),
            "     0.000 -> ReadInt slot=1 subslot=0 location=16\r\n"
            "     1.250 <- ReadInt NAK error=3 code=3 "
            "text=\"Unsupported Message\"\r\n");
  RunExe("decode missing.pcapng", 2, {"q7k: cannot open missing.pcapng"});
}

TEST(Q7kExeTest, FirmwareCheckAndSessionOnTheVirtualInstrument) {
  ScopedTempDir dir;
  SerialPeer peer;
  if (!peer.error().empty()) GTEST_SKIP() << peer.error();
  // Only the boot loader and an empty flash, as demo --emulator has it.
  ASSERT_TRUE(peer.StartEmulator("--boot-loader --empty-flash"));
  const std::string port = " --port " + std::to_string(peer.comNumber());
  RunExe("flash sample", 0);
  RunExe("setup" + port, 0);
  RunExe("flash list" + port, 0, {kEmulatorDemoLines[0]});
  RunExe("test run" + port, 0, {kEmulatorDemoLines[1], kEmulatorDemoLines[2]});
  const nlohmann::json info =
      nlohmann::json::parse(RunExe("--json info" + port, 0));
  EXPECT_EQ(info["application"]["version"], "01.20.02");
}

}  // namespace
}  // namespace q7k
