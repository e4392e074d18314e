#include "simulator/profile_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace q7k {
namespace {

TEST(ProfileReaderTest, SectionsAndKeysIgnoreCaseAndBlanks) {
  ProfileFile file = ProfileFile::Parse(
      "[SimulExtRef]\n"
      "  Test 1 \t=  4.5~23~1e-9  \n"
      "TEST10=x\n");
  EXPECT_EQ(file.GetString("simulextref", "test 1"), "4.5~23~1e-9");
  EXPECT_EQ(file.GetString("SIMULEXTREF", "Test10"), "x");
  // Blanks inside a key count.
  EXPECT_EQ(file.GetString("SimulExtRef", "Test1", "none"), "none");
}

TEST(ProfileReaderTest, MissingSectionOrKeyGivesTheDefault) {
  ProfileFile file = ProfileFile::Parse("[A]\nk=v\n");
  EXPECT_EQ(file.GetString("B", "k", "dflt"), "dflt");
  EXPECT_EQ(file.GetString("A", "other", "dflt"), "dflt");
  EXPECT_EQ(file.GetString("A", "other"), "");
  EXPECT_EQ(ProfileFile::Parse("").GetString("A", "k", "d"), "d");
}

TEST(ProfileReaderTest, FirstSectionAndFirstKeyWin) {
  ProfileFile file = ProfileFile::Parse(
      "[A]\nk=first\nk=second\n"
      "[a]\nk=third\nonly=later\n");
  EXPECT_EQ(file.GetString("A", "k"), "first");
  EXPECT_EQ(file.GetString("A", "only", "missing"), "missing");
}

TEST(ProfileReaderTest, CommentsStrayLinesAndKeysBeforeAnySectionIgnored) {
  ProfileFile file = ProfileFile::Parse(
      "orphan=1\n"
      "; [A]\n"
      "[A]\n"
      "   ; k=commented\n"
      "no equals sign\n"
      "k=v ; not a comment\n");
  EXPECT_EQ(file.GetString("A", "k"), "v ; not a comment");
  EXPECT_EQ(file.GetString("", "orphan", "d"), "d");
}

TEST(ProfileReaderTest, LineEndingsHeadersAndQuotes) {
  ProfileFile file = ProfileFile::Parse(
      "[ A ]  trailing\r\n"
      "q=\"quoted value\"\r\n"
      "s='single'\r\n"
      "m=\"mismatched'\r\n"
      "e=\r\n"
      "[B\n"
      "k=in b");
  EXPECT_EQ(file.GetString("A", "q"), "quoted value");
  EXPECT_EQ(file.GetString("A", "s"), "single");
  EXPECT_EQ(file.GetString("A", "m"), "\"mismatched'");
  EXPECT_EQ(file.GetString("A", "e", "d"), "");
  EXPECT_EQ(file.GetString("B", "k"), "in b");
}

TEST(ProfileReaderTest, ValuesAreCutTo63Characters) {
  const std::string longValue(100, 'x');
  ProfileFile file = ProfileFile::Parse("[A]\nk=" + longValue + "\n");
  EXPECT_EQ(file.GetString("A", "k"), std::string(63, 'x'));
  EXPECT_EQ(file.GetString("A", "none", longValue), std::string(63, 'x'));
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
