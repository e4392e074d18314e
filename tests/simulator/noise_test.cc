#include "simulator/noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace q7k {
namespace {

TEST(NoiseTest, FastOrQuietDrawsNothing) {
  std::srand(11);
  const int first = std::rand();
  std::srand(11);
  EXPECT_EQ(Noise(5.0, /*quiet=*/false, /*fast=*/true), 0.0);
  EXPECT_EQ(Noise(5.0, /*quiet=*/true, /*fast=*/false), 0.0);
  EXPECT_EQ(std::rand(), first);
}

TEST(NoiseTest, OutOfRangeAndNonNumbersGiveNone) {
  EXPECT_EQ(Noise(1e-17, false, false), 0.0);
  EXPECT_EQ(Noise(-2e16, false, false), 0.0);
  EXPECT_EQ(Noise(std::numeric_limits<double>::infinity(), false, false), 0.0);
  EXPECT_EQ(Noise(std::numeric_limits<double>::quiet_NaN(), false, false), 0.0);
}

// Draws are bounded by |a| and have two significant digits at most.
TEST(NoiseTest, BoundedAndOnTheScaledGrid) {
  struct Case {
    double a;
    double grid;
  } cases[] = {{0.37, 0.01}, {-12345.0, 1000.0}, {1.17e-12, 1e-13}, {55.0, 1}};
  std::srand(3);
  for (const Case& c : cases) {
    bool sawNonZero = false;
    for (int i = 0; i < 2000; ++i) {
      const double n = Noise(c.a, false, false);
      ASSERT_LE(std::fabs(n), std::fabs(c.a) * (1 + 1e-12)) << c.a;
      const double steps = n / c.grid;
      ASSERT_NEAR(steps, std::round(steps), 1e-6) << c.a;
      sawNonZero |= n != 0.0;
    }
    EXPECT_TRUE(sawNonZero) << c.a;
  }
}

TEST(NoiseTest, RandomIntUsesTheLibraryGenerator) {
  std::srand(7);
  const int expected = 15 + std::rand() % 11;
  std::srand(7);
  EXPECT_EQ(RandomInt(15, 25), expected);
  for (int i = 0; i < 500; ++i) {
    const int value = RandomInt(50, 70);
    ASSERT_GE(value, 50);
    ASSERT_LE(value, 70);
  }
  EXPECT_EQ(RandomInt(4, 3), 4);
}

}  // namespace
}  // namespace q7k
