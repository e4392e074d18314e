#include "specimen.h"

#include <gtest/gtest.h>

namespace q7k {
namespace emu {
namespace {

TEST(EmulatorSpecimen, EquivalentsOfTheOtherKindAreNegative) {
  const SpecimenReadings c = Measure(Specimen{1.0e-9, 0.0, 0.004}, 1e4, 60.0);
  EXPECT_NEAR(c.parallelCap, 1.0e-9, 1e-21);
  EXPECT_LT(c.parallelInd, 0.0);
  const SpecimenReadings l = Measure(Specimen{0.0, 2.0, 0.1}, 100.0, 60.0);
  EXPECT_NEAR(l.parallelInd, 2.0, 1e-12);
  EXPECT_LT(l.parallelCap, 0.0);
}

TEST(EmulatorSpecimen, NothingToMeasureGivesZerosNotInfinities) {
  for (const SpecimenReadings& m :
       {Measure(Specimen{}, 100.0, 0.0), Measure(Specimen{0, 0, 0}, 100, 60)}) {
    EXPECT_EQ(m.amperes, 0.0);
    EXPECT_EQ(m.parallelCap, 0.0);
    EXPECT_EQ(m.parallelRes, 0.0);
  }
}

}  // namespace
}  // namespace emu
}  // namespace q7k
