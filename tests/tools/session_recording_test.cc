// Sessions with the virtual instrument over a pseudo-terminal, recorded:
// q7k asked three ways (the client-thread path), and a download through the
// port's threads with an unanswered block. The recording must hold exactly
// the bytes the instrument's trace shows.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>

#include "link/recording_format.h"
#include "support/emulated_component.h"
#include "support/firmware_image.h"
#include "support/shell_run.h"

namespace q7k {
namespace {

using Kind = RecordingEventKind;

// The bytes of side ("rx" or "tx") in an emulator trace, whole.
std::vector<uint8_t> TraceBytes(const std::string& path, const char* side) {
  std::vector<uint8_t> bytes;
  std::istringstream words(ReadFileBytes(path));
  bool in = false;
  for (std::string w; words >> w;) {
    if (w == "rx" || w == "tx" || w[0] == '+')
      in = w == side;
    else if (in && w.size() == 2 && w != "-")
      bytes.push_back(std::stoi(w, nullptr, 16));
  }
  return bytes;
}

Recording CheckAgainstTrace(const std::string& file, const std::string& trace) {
  Recording r;
  std::string error;
  EXPECT_TRUE(LoadRecording(file, &r, &error)) << error;
  std::vector<uint8_t> line[3];
  std::vector<Kind> kinds;
  for (const RecordingEvent& e : r.events) {
    auto& to = line[static_cast<int>(e.direction)];
    to.insert(to.end(), e.bytes.begin(), e.bytes.end());
    if (e.kind != Kind::kData) kinds.push_back(e.kind);
  }
  EXPECT_EQ(line[2], TraceBytes(trace, "rx"));
  EXPECT_EQ(line[1], TraceBytes(trace, "tx"));
  EXPECT_FALSE(kinds.empty());
  if (kinds.empty()) return r;
  EXPECT_EQ(kinds.front(), Kind::kStart);
  EXPECT_EQ(kinds.back(), Kind::kClose);
  // Every port a section: start, open ... close.
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Kind::kStart),
            std::count(kinds.begin(), kinds.end(), Kind::kClose));
  EXPECT_TRUE(
      std::is_sorted(r.events.begin(), r.events.end(),
                     [](auto& a, auto& b) { return a.timeUs < b.timeUs; }));
  return r;
}

TEST(SessionRecordingTest, Q7kAskedEachWay) {
  const struct {
    const char* environment;  // Q7K_RECORD, or null
    const char* option;       // --record, or null
    const char* recorded;     // the file expected, or null
    const char* run;
  } cases[] = {
      {nullptr, "rec.pcapng", "rec.pcapng", "test run --kv 10"},
      {"env.pcapng", nullptr, "env.pcapng", "info"},
      {"env.pcapng", "rec.pcapng", "rec.pcapng", "info"},  // the hook wins
      {nullptr, ".", nullptr, "info"},  // a directory: cannot be opened
      {nullptr, "/dev/full", nullptr, "info"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option ? c.option : c.environment);
    ScopedTempDir dir;
    EmulatorOptions options;
    options.line.tracePath = dir.File("emulator.trace");
    Emulator emulator(options);
    // Replies in small pieces: the recording keeps each read as it came.
    ASSERT_TRUE(emulator.AddFault("split@every=3"));
    const std::string device = emulator.Start();
    ASSERT_FALSE(device.empty()) << emulator.error();
    const std::string env =
        c.environment ? std::string("Q7K_RECORD=") + c.environment : "";
    const std::string record =
        c.option ? std::string("--record ") + c.option : "";
    const ShellRun q7k =
        RunShell(env + " " Q7K_CLI_BINARY " --device " + device + " " + record +
                 " " + c.run + " 2>&1");
    ASSERT_EQ(q7k.status, 0) << q7k.out;
    emulator.Stop();
    // One line for a recording that could not go on, none otherwise.
    const std::string log = ReadFileBytes("Q7kComm.log");
    EXPECT_EQ(log.find("Recording stopped") != std::string::npos, !c.recorded);
    EXPECT_EQ(log.find("Recording stopped"), log.rfind("Recording stopped"));
    if (c.environment && c.recorded != std::string(c.environment)) {
      EXPECT_FALSE(std::filesystem::exists(c.environment));
    }
    if (!c.recorded) continue;
    const Recording r = CheckAgainstTrace(c.recorded, options.line.tracePath);
    EXPECT_EQ(r.application, "q7kcomm 1.00.15");
    ASSERT_GE(r.events.size(), 2u);
    EXPECT_EQ(r.events[1].kind, Kind::kOpen);
    EXPECT_EQ(r.events[1].text, device);
    EXPECT_EQ(r.events.back().code, 0);
  }
}

// The fake clock keeps the client off the device: the port's threads move
// the bytes.
class SessionRecordingDownloadTest : public EmulatedComponentTest {
 protected:
  void SetUp() override {
    UseFakeClock();
    EmulatedComponentTest::SetUp();
    SetRecordingPath(dir_.File("session.pcapng"));
  }
  void TearDown() override {
    EmulatedComponentTest::TearDown();
    SetRecordingPath("");
  }
};

TEST_F(SessionRecordingDownloadTest, TimeOutAsTheComponentSawIt) {
  Bytes image;
  ASSERT_TRUE(WriteFileBytes("Q7I.X0", ImageFile(64, "01.20.02", &image)));
  EmulatorOptions options;
  options.model.flash.firmware = Firmware("01.20.01");
  options.line.tracePath = dir_.File("emulator.trace");
  ASSERT_NO_FATAL_FAILURE(Start(options, false));
  ASSERT_TRUE(emulator_->AddFault("silence@cmd=0x0B@once"));
  auto setup = std::async(std::launch::async, [this] {
    return comm_->SetupComm(kComPort, BPS_115200, 5);
  });
  // Application info, restart, parameters, then the first block.
  ASSERT_TRUE(emulator_->WaitForRequests(4, std::chrono::seconds(60)));
  const auto waited = clock_->AdvanceToNextDeadline();
  EXPECT_EQ(setup.get(), E_FAIL);
  EXPECT_EQ(Code(), 133);
  comm_->ClosePort();
  comm_->ClearError();
  ASSERT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK) << Message();
  comm_->ClosePort();
  emulator_->Stop();

  const Recording r =
      CheckAgainstTrace(dir_.File("session.pcapng"), options.line.tracePath);
  auto timeout = std::find_if(r.events.begin(), r.events.end(),
                              [](auto& e) { return e.kind == Kind::kTimeout; });
  ASSERT_NE(timeout, r.events.end());
  EXPECT_EQ(timeout->command, 0x0B);
  EXPECT_EQ(timeout->number, static_cast<uint32_t>(waited.count()));
  ASSERT_NE(++timeout, r.events.end());
  EXPECT_EQ(timeout->kind, Kind::kExchangeFailed);
  EXPECT_EQ(timeout->code, 133);
  EXPECT_EQ(std::count_if(timeout, r.events.end(),
                          [](auto& e) { return e.kind == Kind::kTimeout; }),
            0);
}

}  // namespace
}  // namespace q7k
