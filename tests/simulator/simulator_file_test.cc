#include "simulator/simulator_file.h"

#include <gtest/gtest.h>

namespace q7k {
namespace {

TEST(SimulatorFileTest, SectionsAndKeys) {
  EXPECT_EQ(SimulatorSection(SIMUL_EXC), "");  // no file section
  // Test numbers are padded to two characters.
  EXPECT_EQ(SimulatorTestKey(9), "Test 9");
  EXPECT_EQ(SimulatorTestKey(123), "Test123");
  EXPECT_EQ(CalibrationErrorKey(7), "300 mA");
  EXPECT_EQ(CalibrationErrorKey(8), "Guard");
  EXPECT_EQ(CalibrationErrorKey(11), "GSTLoss");
  EXPECT_EQ(CalibrationErrorKey(0), "");
}

TEST(SimulatorFileTest, TestNumberWalksAndWraps) {
  ProfileFile file =
      ProfileFile::Parse("[SimulExtRef]\nTest 1=one\nTest 2=two\n");
  int32_t number = 1;
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulExtRef", &number), "one");
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulExtRef", &number), "two");
  EXPECT_EQ(number, 3);
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulExtRef", &number), "one");
  EXPECT_EQ(number, 2);

  // No key at all leaves the number at 2 and no value.
  number = 5;
  EXPECT_EQ(ReadSimulatorTestValue(file, "SimulClipData", &number), "");
  EXPECT_EQ(number, 2);
}

TEST(SimulatorFileTest, ValuesSplitAndNumbersReadAsTextToDouble) {
  using Fields = std::vector<std::string_view>;
  EXPECT_EQ(SplitSimulatorValue("1~2~3"), (Fields{"1", "2", "3"}));
  EXPECT_EQ(SplitSimulatorValue("1.5"), (Fields{"1.5"}));
  EXPECT_EQ(SplitSimulatorValue("~~"), (Fields{"", "", ""}));
  EXPECT_DOUBLE_EQ(SimulatorNumber(" 4.5e-3xyz"), 4.5e-3);
  EXPECT_DOUBLE_EQ(SimulatorNumber("abc"), 0.0);
  EXPECT_DOUBLE_EQ(SimulatorNumber(""), 0.0);
  // The field is not zero-terminated: reading must stop at its end.
  EXPECT_DOUBLE_EQ(SimulatorNumber(std::string_view("79", 1)), 7.0);
}

}  // namespace
}  // namespace q7k
