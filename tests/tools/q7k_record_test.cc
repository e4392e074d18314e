// q7k recording its session with the virtual instrument over a
// pseudo-terminal: the three ways to ask for it, and files it cannot write.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "emulator.h"
#include "support/recording_check.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + 1)) {
    ++n;
  }
  return n;
}

TEST(Q7kRecordTest, TestRunRecordedAsTheInstrumentSawIt) {
  const struct {
    const char* environment;  // Q7K_RECORD, or null
    const char* option;       // --record, or null
    const char* recorded;     // the file expected, or null
    size_t traceLines;        // "Recording stopped" lines
    const char* run;
  } cases[] = {
      {nullptr, "rec.pcapng", "rec.pcapng", 0, "test run --kv 10"},
      {"env.pcapng", nullptr, "env.pcapng", 0, "info"},
      {"env.pcapng", "rec.pcapng", "rec.pcapng", 0, "info"},  // the hook wins
      {nullptr, "missing/rec.pcapng", nullptr, 1, "info"},
      {nullptr, "/dev/full", nullptr, 1, "info"},
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
    std::string command;
    if (c.environment)
      command += std::string("Q7K_RECORD=") + c.environment + " ";
    command += std::string(Q7K_CLI_BINARY) + " --device " + device;
    if (c.option) command += std::string(" --record ") + c.option;
    command += std::string(" ") + c.run + " >q7k.out 2>&1";
    ASSERT_EQ(RunShell(command), 0) << ReadFileBytes("q7k.out");
    emulator.Stop();

    EXPECT_EQ(Count(ReadFileBytes("Q7kComm.log"), "Recording stopped"),
              c.traceLines);
    if (c.environment && c.recorded != std::string(c.environment)) {
      EXPECT_FALSE(std::filesystem::exists(c.environment));
    }
    if (!c.recorded) continue;
    const Recording r = LoadOrFail(c.recorded);
    EXPECT_EQ(r.application, "q7kcomm 1.00.15");
    EXPECT_EQ(LineBytes(r, RecordingDirection::kToInstrument),
              TraceBytes(options.line.tracePath, "rx"));
    EXPECT_EQ(LineBytes(r, RecordingDirection::kFromInstrument),
              TraceBytes(options.line.tracePath, "tx"));
    const auto kinds = EventKinds(r);
    ASSERT_GE(kinds.size(), 3u);
    EXPECT_EQ(kinds.front(), RecordingEventKind::kStart);
    EXPECT_EQ(kinds[1], RecordingEventKind::kOpen);
    EXPECT_EQ(kinds.back(), RecordingEventKind::kClose);
    EXPECT_EQ(r.events[1].text, device);
    EXPECT_EQ(r.events.back().code, 0);
    EXPECT_TRUE(std::is_sorted(
        r.events.begin(), r.events.end(),
        [](const auto& a, const auto& b) { return a.timeUs < b.timeUs; }));
  }
}

}  // namespace
}  // namespace q7k
