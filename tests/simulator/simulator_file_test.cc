#include "simulator/simulator_file.h"

#include <gtest/gtest.h>

namespace q7k {
namespace {

TEST(SimulatorFileTest, SectionsPerMode) {
  EXPECT_EQ(SimulatorSection(SIMUL_CLIP), "SimulClipData");
  EXPECT_EQ(SimulatorSection(SIMUL_XREF), "SimulExtRef");
  EXPECT_EQ(SimulatorSection(SIMUL_LEAK), "SimulLeakReac");
  EXPECT_EQ(SimulatorSection(SIMUL_BHT), "SimulBhTest");
  EXPECT_EQ(SimulatorSection(SIMUL_EXC), "");
  EXPECT_EQ(SimulatorSection(SIMUL_CAL), "");
  EXPECT_EQ(CalibrationErrorSection(), "SimulCalErrors");
}

TEST(SimulatorFileTest, TestKeysArePaddedToTwoCharacters) {
  EXPECT_EQ(SimulatorTestKey(1), "Test 1");
  EXPECT_EQ(SimulatorTestKey(9), "Test 9");
  EXPECT_EQ(SimulatorTestKey(10), "Test10");
  EXPECT_EQ(SimulatorTestKey(123), "Test123");
}

TEST(SimulatorFileTest, CalibrationKeys) {
  EXPECT_EQ(CalibrationErrorKey(1), "300 uA");
  EXPECT_EQ(CalibrationErrorKey(2), "1 mA");
  EXPECT_EQ(CalibrationErrorKey(7), "300 mA");
  EXPECT_EQ(CalibrationErrorKey(8), "Guard");
  EXPECT_EQ(CalibrationErrorKey(9), "GSTLoss");
  EXPECT_EQ(CalibrationErrorKey(11), "GSTLoss");
  EXPECT_EQ(CalibrationErrorKey(0), "");
  EXPECT_EQ(CalibrationErrorKey(-6), "");
}

TEST(SimulatorFileTest, TestNumberWalksAndWraps) {
  ProfileFile file =
      ProfileFile::Parse("[SimulExtRef]\nTest 1=one\nTest 2=two\n");
  int32_t number = 1;
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulExtRef", &number), "one");
  EXPECT_EQ(number, 2);
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulExtRef", &number), "two");
  EXPECT_EQ(number, 3);
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulExtRef", &number), "one");
  EXPECT_EQ(number, 2);
}

TEST(SimulatorFileTest, NoTestKeysLeavesNumberTwoAndNoValue) {
  ProfileFile file = ProfileFile::Parse("[SimulExtRef]\nTest 2=two\n");
  int32_t number = 5;
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulClipData", &number), "");
  EXPECT_EQ(number, 2);
  // Test 2 exists, though test 1 does not.
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulExtRef", &number), "two");
  EXPECT_EQ(number, 3);
}

TEST(SimulatorFileTest, ValuesSplitAtEverySeparator) {
  using Fields = std::vector<std::string_view>;
  EXPECT_EQ(SplitSimulatorValue("1~2~3"), (Fields{"1", "2", "3"}));
  EXPECT_EQ(SplitSimulatorValue("1.5"), (Fields{"1.5"}));
  EXPECT_EQ(SplitSimulatorValue("1~"), (Fields{"1", ""}));
  EXPECT_EQ(SplitSimulatorValue("~~"), (Fields{"", "", ""}));
}

TEST(SimulatorFileTest, NumbersReadAsTextToDouble) {
  EXPECT_DOUBLE_EQ(SimulatorNumber(" 4.5e-3xyz"), 4.5e-3);
  EXPECT_DOUBLE_EQ(SimulatorNumber("-0.0008"), -0.0008);
  EXPECT_DOUBLE_EQ(SimulatorNumber("abc"), 0.0);
  EXPECT_DOUBLE_EQ(SimulatorNumber(""), 0.0);
  EXPECT_DOUBLE_EQ(SimulatorNumber(std::string_view("7\0"
                                                    "9",
                                                    3)),
                   7.0);
}

}  // namespace
}  // namespace q7k
