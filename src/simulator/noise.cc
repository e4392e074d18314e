#include "simulator/noise.h"

#include <cmath>
#include <cstdlib>

namespace q7k {

int RandomInt(int lo, int hi) {
  if (hi < lo) return lo;
  return lo + std::rand() % (hi - lo + 1);
}

double Noise(double a, bool quiet, bool fast) {
  double magnitude = std::fabs(a);
  // Written so that NaN also gives no noise.
  if (fast || quiet || !(magnitude >= 1e-16 && magnitude <= 1e16)) return 0.0;
  int exponent = 0;
  while (magnitude < 10.0) {
    magnitude *= 10.0;
    ++exponent;
  }
  while (magnitude > 100.0) {
    magnitude *= 0.1;
    --exponent;
  }
  const int n = static_cast<int>(magnitude);
  return (RandomInt(0, 2 * n) - n) * std::pow(10.0, -exponent);
}

}  // namespace q7k
