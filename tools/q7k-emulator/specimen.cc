#include "specimen.h"

#include <cmath>

namespace q7k {
namespace emu {
namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

SpecimenReadings Measure(const Specimen& specimen, double volts, double hertz) {
  SpecimenReadings out;
  if (hertz <= 0) return out;
  const double omega = kTwoPi * hertz;
  const bool inductive = specimen.inductance != 0;
  const double b = inductive ? -1.0 / (omega * std::fabs(specimen.inductance))
                             : omega * std::fabs(specimen.capacitance);
  const double magB = std::fabs(b);
  if (magB == 0) return out;
  const double tanDelta = std::fabs(specimen.dissipation);
  const double g = magB * tanDelta;
  const double magY = std::hypot(g, magB);

  out.kilovolts = volts / 1000.0;
  out.amperes = volts * magY;
  out.watts = volts * volts * g;
  out.vars = volts * volts * magB;
  out.powerFactor = 100.0 * g / magY;
  out.tangentDelta = tanDelta;
  out.sineThetaX100 = 100.0 * magB / magY;

  // Series equivalent: Z = 1 / Y = (G - jB) / |Y|^2.
  const double y2 = magY * magY;
  const double xs = magB / y2;
  out.seriesRes = g / y2;
  out.parallelRes = g > 0 ? 1.0 / g : 0.0;
  if (inductive) {
    out.parallelInd = 1.0 / (omega * magB);
    out.seriesInd = xs / omega;
    out.parallelCap = -1.0 / (omega * omega * out.parallelInd);
    out.seriesCap = -1.0 / (omega * omega * out.seriesInd);
  } else {
    out.parallelCap = magB / omega;
    out.seriesCap = 1.0 / (omega * xs);
    out.parallelInd = -1.0 / (omega * omega * out.parallelCap);
    out.seriesInd = -1.0 / (omega * omega * out.seriesCap);
  }
  return out;
}

}  // namespace emu
}  // namespace q7k
