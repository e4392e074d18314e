// The component's trace log and the client's own log, in a temporary
// current directory on a fake clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "log/client_log.h"
#include "log/trace_log.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace q7k {
namespace {

const char kNameLine[] = "Q7kComm.log\n";
const char kTimeLine[] = "Fri Dec 04 15:18:19 2026\n";

std::vector<uint8_t> Sequence(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

// The dump row of bytes first..first+count-1 of Sequence().
std::string Row(size_t first, size_t count) {
  std::string row = "  ";
  for (size_t i = first; i < first + count; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x ", static_cast<unsigned>(i & 0xFF));
    row += hex;
  }
  return row + "\n";
}

class LogFilesTest : public ::testing::Test {
 protected:
  std::string Log() const { return ReadFileBytes(kTraceLogName); }

  ScopedTempDir dir_;
  FakeClock clock_{FakeClock::MakeTime(2026, 12, 4, 15, 18, 19, 5)};
  ClientLog client_;
};

TEST_F(LogFilesTest, TraceEntriesAndFailedExchanges) {
  TraceLine("", false);  // on a missing log: only the name line
  TraceLine(nullptr, true);
  EXPECT_EQ(Log(), kNameLine);
  TraceLine("CreatePort COM3", false);
  TraceLine("ClosePort", true);
  const std::vector<uint8_t> bytes = {0x01, 0x00, 0x0c, 0x00, 0xff};
  TraceExchange(bytes.data(), bytes.size(), 133, false, "Timed Out");
  TraceExchange(bytes.data(), 2, -1, true, "Transmit");
  EXPECT_EQ(Log(), std::string(kNameLine) + "[CreatePort COM3]\n" +
                       "[12/04/26-15:18:19 ClosePort]\n" +
                       "Version[1.00.15] - [R] Error=133 @ " + kTimeLine +
                       "[Timed Out](5)\n  01 00 0c 00 ff \n" +
                       "Version[1.00.15] - [T] Error=-1 @ " + kTimeLine +
                       "[Transmit](2)\n  01 00 \n");
}

TEST_F(LogFilesTest, TraceRotatesAboveTheLimitOnly) {
  const std::string full(kTraceLogLimit, 'a');
  struct Case {
    const char* what;
    std::string before;
    bool backupIsADirectory;
    std::string after, backup;
  };
  const Case cases[] = {
      {"an existing log gets no name line", "earlier\n", false,
       "earlier\n[next]\n", ""},
      {"exactly the limit", full, false, full + "[next]\n", ""},
      {"above it", full + "a", false, std::string(kNameLine) + "[next]\n",
       full + "a"},
      // A non-empty directory can be neither deleted nor replaced.
      {"a backup that cannot go", full + "a", true, full + "a[next]\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(kTraceBackupName);
    if (c.backupIsADirectory) {
      std::filesystem::create_directories(std::string(kTraceBackupName) + "/x");
    } else if (!c.backup.empty()) {
      ASSERT_TRUE(WriteFileBytes(kTraceBackupName, "older backup\n"));
    }
    ASSERT_TRUE(WriteFileBytes(kTraceLogName, c.before));
    TraceLine("next", false);
    EXPECT_EQ(Log(), c.after);
    if (!c.backupIsADirectory) {
      EXPECT_EQ(ReadFileBytes(kTraceBackupName), c.backup);
    }
  }
}

// The fake clock's own time is kTimeLine in the logs below.
TEST_F(LogFilesTest, TimeLineFormat) {
  EXPECT_EQ(FormatTimeLine(FakeClock::MakeTime(2001, 1, 9, 3, 4, 5, 0)),
            "Sun Jan 09 03:04:05 2001\n");
  // Fields outside the calendar never index past the name tables.
  EXPECT_EQ(FormatTimeLine(FakeClock::MakeTime(2001, 13, 9, 3, 4, 5, 7)),
            "??? ??? 09 03:04:05 2001\n");
}

TEST_F(LogFilesTest, TraceDumpRowsStopAfter300Bytes) {
  const std::vector<uint8_t> bytes = Sequence(400);
  TraceHexDump(bytes.data(), 0, "Empty");
  TraceHexDump(bytes.data(), 12, "Transmit");
  TraceHexDump(bytes.data(), 32, "");
  TraceExchange(bytes.data(), 1, 0, true, nullptr);  // no error: dump only
  TraceHexDump(bytes.data(), bytes.size(), "Big");
  std::string expected = "[Empty](0)\n[Transmit](12)\n" + Row(0, 12) +
                         "XXX(32)\n" + Row(0, 32) + "  \nXXX(1)\n  00 \n" +
                         "[Big](400)\n";
  for (size_t row = 0; row < 9; ++row) expected += Row(row * 32, 32);
  EXPECT_EQ(Log(), expected + Row(288, 12));
}

TEST_F(LogFilesTest, ClientSetNameTouchesNoFileAndWriteAddsNoNameLine) {
  client_.SetName(u"client.txt");
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  client_.WriteToLog(u"first");
  client_.WriteToLog(u"");
  EXPECT_EQ(ReadFileBytes("client.txt"), "first\n\n");
  // An empty name clears it, and entries without a name go nowhere.
  client_.BeginLog(u"");
  EXPECT_EQ(client_.Name(), u"");
  client_.WriteToLog(u"lost");
  EXPECT_EQ(ReadFileBytes("client.txt"), "first\n\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1);
}

// A new file starts with its name and the time, an existing one with a
// blank line before the time; names and entries are written in the host
// code page.
TEST_F(LogFilesTest, ClientBeginWritesTheTimeLine) {
  client_.BeginLog(u"caf\u00E9.log");
  EXPECT_EQ(client_.Name(), u"caf\u00E9.log");
  client_.WriteToLog(u"Termin\u00E9: 100 \u20AC \u4E2D");
  client_.BeginLog(u"caf\u00E9.log");
  EXPECT_EQ(ReadFileBytes("caf\xE9.log"),
            std::string("caf\xE9.log\n") + kTimeLine +
                "Termin\xE9: 100 \x80 ?\n\n" + kTimeLine);
}

TEST_F(LogFilesTest, DirectoryThatCannotHoldFilesIsSkippedSilently) {
  if (!CanRemoveCurrentDirectory()) {
    GTEST_SKIP() << "Windows keeps a current directory from being removed";
  }
  // A current directory that has been removed refuses new files even to a
  // privileged user.
  const std::string gone = dir_.File("gone");
  ASSERT_TRUE(std::filesystem::create_directory(gone));
  ASSERT_EQ(chdir(gone.c_str()), 0);
  ASSERT_TRUE(std::filesystem::remove(gone));
  const std::vector<uint8_t> bytes = Sequence(40);
  TraceLine("ClosePort", true);
  TraceExchange(bytes.data(), bytes.size(), 133, false, "Timed Out");
  TraceHexDump(bytes.data(), bytes.size(), nullptr);
  client_.BeginLog(u"run.log");
  client_.WriteToLog(u"entry");
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  EXPECT_EQ(client_.Name(), u"run.log");
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

}  // namespace
}  // namespace q7k
