// The simulator data file: the profile format it is written in, and the
// sections, keys and values the simulator reads from it. Loading a real
// file is the simulated start's (SimulatedTest).
#include "simulator/simulator_file.h"

#include <gtest/gtest.h>

#include <string>

#include "simulator/profile_reader.h"

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

TEST(SimulatorFileTest, SectionsAndKeys) {
  // Test numbers are padded to two characters ("Test 1": SimulatedTest).
  EXPECT_EQ(SimulatorTestKey(123), "Test123");
  EXPECT_EQ(CalibrationErrorKey(7), "300 mA");
  EXPECT_EQ(CalibrationErrorKey(8), "Guard");
  EXPECT_EQ(CalibrationErrorKey(11), "GSTLoss");
  EXPECT_EQ(CalibrationErrorKey(0), "");
}

// The walk through the keys is the simulated start's to show
// (SimulatedTest); here, a section without one.
TEST(SimulatorFileTest, NoKeyAtAllGivesNoValueAndNumberTwo) {
  ProfileFile file = ProfileFile::Parse("[SimulExtRef]\nTest 1=one\n");
  int32_t number = 5;
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulClipData", &number), "");
  EXPECT_EQ(number, 2);
}

TEST(SimulatorFileTest, ValuesSplitAndNumbersReadAsTextToDouble) {
  using Fields = std::vector<std::string_view>;
  EXPECT_EQ(SplitSimulatorValue("~~"), (Fields{"", "", ""}));
  EXPECT_DOUBLE_EQ(SimulatorNumber(" 4.5e-3xyz"), 4.5e-3);
  EXPECT_DOUBLE_EQ(SimulatorNumber("abc"), 0.0);
  EXPECT_DOUBLE_EQ(SimulatorNumber(""), 0.0);
  // The field is not zero-terminated: reading must stop at its end.
  EXPECT_DOUBLE_EQ(SimulatorNumber(std::string_view("79", 1)), 7.0);
}

}  // namespace
}  // namespace q7k
