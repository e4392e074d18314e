#include "log/client_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

const char kTimeLine[] = "Fri Dec 04 15:18:19 2026\n";

class ClientLogTest : public ::testing::Test {
 protected:
  bool DirectoryIsEmpty() const {
    return std::filesystem::is_empty(dir_.path());
  }

  ScopedTempDir dir_;
  FakeClock clock_{FakeClock::MakeTime(2026, 12, 4, 15, 18, 19, 5)};
  ClientLog log_;
};

TEST_F(ClientLogTest, SetNameTouchesNoFileAndWriteCreatesWithoutNameLine) {
  log_.SetName(u"client.txt");
  EXPECT_EQ(log_.Name(), u"client.txt");
  EXPECT_TRUE(DirectoryIsEmpty());
  log_.WriteToLog(u"first");
  log_.WriteToLog(u"");
  EXPECT_EQ(ReadFileBytes("client.txt"), "first\n\n");
  // An empty name clears it, and entries without a name go nowhere.
  log_.BeginLog(u"");
  EXPECT_EQ(log_.Name(), u"");
  log_.WriteToLog(u"lost");
  EXPECT_EQ(ReadFileBytes("client.txt"), "first\n\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ClientLogTest, BeginOnNewFileWritesNameThenTimeLine) {
  log_.BeginLog(u"run.log");
  EXPECT_EQ(log_.Name(), u"run.log");
  log_.WriteToLog(u"Test 1 passed");
  EXPECT_EQ(ReadFileBytes("run.log"),
            std::string("run.log\n") + kTimeLine + "Test 1 passed\n");
}

TEST_F(ClientLogTest, BeginOnExistingFileLeavesBlankLineBeforeTimeLine) {
  ASSERT_TRUE(WriteFileBytes("run.log", "old entry\n"));
  log_.BeginLog(u"run.log");
  log_.BeginLog(u"run.log");
  EXPECT_EQ(ReadFileBytes("run.log"),
            std::string("old entry\n\n") + kTimeLine + "\n" + kTimeLine);
}

TEST_F(ClientLogTest, NamesAndEntriesAreWrittenInTheHostCodePage) {
  log_.BeginLog(u"caf\u00E9.log");
  log_.WriteToLog(u"Termin\u00E9: 100 \u20AC \u4E2D");
  EXPECT_EQ(
      ReadFileBytes("caf\xE9.log"),
      std::string("caf\xE9.log\n") + kTimeLine + "Termin\xE9: 100 \x80 ?\n");
}

TEST_F(ClientLogTest, UnwritableFileIsSkippedSilently) {
  // A current directory that has been removed refuses new files even to a
  // privileged user.
  const std::string gone = dir_.File("gone");
  ASSERT_TRUE(std::filesystem::create_directory(gone));
  ASSERT_EQ(chdir(gone.c_str()), 0);
  ASSERT_TRUE(std::filesystem::remove(gone));
  log_.BeginLog(u"run.log");
  log_.WriteToLog(u"entry");
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  EXPECT_EQ(log_.Name(), u"run.log");
  EXPECT_TRUE(DirectoryIsEmpty());
}

}  // namespace
}  // namespace q7k
