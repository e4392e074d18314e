#include "simulator/profile_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace q7k {
namespace {

TEST(ProfileReaderTest, SectionsKeysCommentsAndFirstWins) {
  ProfileFile file = ProfileFile::Parse(
      "orphan=1\n"
      "; [A]\n"
      "[SimulExtRef]\n"
      "  Test 1 \t=  4.5~23~1e-9  \n"
      "   ; k=commented\n"
      "no equals sign\n"
      "k=v ; not a comment\n"
      "k=second\n"
      "[simulextref]\nonly=later\n");
  EXPECT_EQ(file.GetString("simulextref", "test 1"), "4.5~23~1e-9");
  EXPECT_EQ(file.GetString("SimulExtRef", "Test1", "none"), "none");
  EXPECT_EQ(file.GetString("SIMULEXTREF", "k"), "v ; not a comment");
  EXPECT_EQ(file.GetString("SimulExtRef", "only", "missing"), "missing");
  EXPECT_EQ(file.GetString("", "orphan", "d"), "d");
  EXPECT_EQ(file.GetString("SimulExtRef", "other"), "");
}

TEST(ProfileReaderTest, LineEndingsHeadersQuotesAndLength) {
  ProfileFile file = ProfileFile::Parse(
      "[ A ]  trailing\r\n"
      "q=\"quoted value\"\r\n"
      "s='single'\r\n"
      "m=\"mismatched'\r\n"
      "e=\r\n"
      "long=" +
      std::string(100, 'x') +
      "\r\n"
      "[B\n"
      "k=in b");
  EXPECT_EQ(file.GetString("A", "q"), "quoted value");
  EXPECT_EQ(file.GetString("A", "s"), "single");
  EXPECT_EQ(file.GetString("A", "m"), "\"mismatched'");
  EXPECT_EQ(file.GetString("A", "e", "d"), "");
  EXPECT_EQ(file.GetString("B", "k"), "in b");
  // Values, defaults included, are cut to 63 characters.
  EXPECT_EQ(file.GetString("A", "long"), std::string(63, 'x'));
  EXPECT_EQ(file.GetString("A", "none", std::string(100, 'y')),
            std::string(63, 'y'));
}

TEST(ProfileReaderTest, LoadsARealFileAndReportsAMissingOne) {
  ScopedTempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("p.ini"), "[S]\nkey=value\n"));
  std::optional<ProfileFile> file = ProfileFile::Load(dir.File("p.ini"));
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->GetString("s", "KEY"), "value");
  EXPECT_FALSE(ProfileFile::Load(dir.File("absent.ini")).has_value());
}

}  // namespace
}  // namespace q7k
