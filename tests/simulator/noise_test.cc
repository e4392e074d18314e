#include "simulator/noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace q7k {
namespace {

TEST(NoiseTest, FastQuietOutOfRangeAndNonNumbersDrawNothing) {
  std::srand(11);
  const int first = std::rand();
  std::srand(11);
  EXPECT_EQ(Noise(5.0, /*quiet=*/false, /*fast=*/true), 0.0);
  EXPECT_EQ(Noise(5.0, /*quiet=*/true, /*fast=*/false), 0.0);
  EXPECT_EQ(Noise(1e-17, false, false), 0.0);
  EXPECT_EQ(Noise(-2e16, false, false), 0.0);
  EXPECT_EQ(Noise(std::numeric_limits<double>::quiet_NaN(), false, false), 0.0);
  // Nothing drawn: RandomInt gets the first number of the sequence.
  EXPECT_EQ(RandomInt(15, 25), 15 + first % 11);
  EXPECT_EQ(RandomInt(4, 3), 4);
}

// Draws are bounded by |a| and have two significant digits at most.
TEST(NoiseTest, BoundedAndOnTheScaledGrid) {
  std::srand(3);
  for (double a : {0.37, -12345.0, 1.17e-12}) {
    const double grid =
        std::pow(10.0, std::floor(std::log10(std::fabs(a))) - 1);
    bool sawNonZero = false;
    for (int i = 0; i < 2000; ++i) {
      const double n = Noise(a, false, false);
      ASSERT_LE(std::fabs(n), std::fabs(a) * (1 + 1e-12)) << a;
      ASSERT_NEAR(n / grid, std::round(n / grid), 1e-6) << a;
      sawNonZero |= n != 0.0;
    }
    EXPECT_TRUE(sawNonZero) << a;
  }
}

}  // namespace
}  // namespace q7k
