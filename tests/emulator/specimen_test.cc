#include "specimen.h"

#include <gtest/gtest.h>

#include <cmath>

namespace q7k {
namespace emu {
namespace {

constexpr double kOmega60 = 6.283185307179586 * 60.0;

TEST(EmulatorSpecimen, CapacitorReadingsAndEquivalents) {
  const Specimen c{1.0e-9, 0.0, 0.004};
  const SpecimenReadings m = Measure(c, 10000.0, 60.0);
  const double b = kOmega60 * 1.0e-9;
  EXPECT_NEAR(m.amperes, 10000.0 * b * std::sqrt(1 + 0.004 * 0.004), 1e-12);
  EXPECT_NEAR(m.watts, 1e8 * b * 0.004, 1e-12);
  EXPECT_NEAR(m.vars, 1e8 * b, 1e-9);
  EXPECT_DOUBLE_EQ(m.kilovolts, 10.0);
  EXPECT_DOUBLE_EQ(m.tangentDelta, 0.004);
  EXPECT_NEAR(m.parallelCap, 1.0e-9, 1e-21);
  EXPECT_NEAR(m.seriesCap, 1.0e-9 * (1 + 0.004 * 0.004), 1e-21);
  EXPECT_NEAR(m.parallelRes, 1.0 / (b * 0.004), 1e-3);
  // A capacitor shows a negative equivalent inductance.
  EXPECT_NEAR(m.parallelInd, -1.0 / (kOmega60 * kOmega60 * 1.0e-9), 1e-6);
  EXPECT_NEAR(m.powerFactor * m.powerFactor / 1e4 +
                  m.sineThetaX100 * m.sineThetaX100 / 1e4,
              1.0, 1e-12);
}

TEST(EmulatorSpecimen, InductorAndDegenerateCases) {
  const Specimen l{0.0, 2.0, 0.1};
  const SpecimenReadings m = Measure(l, 100.0, 60.0);
  EXPECT_NEAR(m.parallelInd, 2.0, 1e-12);
  EXPECT_LT(m.parallelCap, 0.0);
  EXPECT_NEAR(m.amperes, 100.0 / (kOmega60 * 2.0) * std::sqrt(1.01), 1e-12);

  EXPECT_EQ(Measure(l, 100.0, 0.0).amperes, 0.0);
  const SpecimenReadings off = Measure(Specimen{}, 0.0, 60.0);
  EXPECT_EQ(off.amperes, 0.0);
  EXPECT_EQ(off.watts, 0.0);
  EXPECT_NEAR(off.parallelCap, 1.0e-9, 1e-21);
}

}  // namespace
}  // namespace emu
}  // namespace q7k
