// Specimen: the insulation under test that the virtual instrument measures,
// and the readings a test of it at a given voltage and frequency gives.
//
// The specimen is a parallel admittance Y = G + jB: B = 2 pi f C for a
// capacitive specimen or -1 / (2 pi f L) for an inductive one, and
// G = |B| x dissipation (the dissipation factor, tan delta).
//
// Thread safety: none; plain values and a pure function.
#ifndef Q7K_EMULATOR_SPECIMEN_H_
#define Q7K_EMULATOR_SPECIMEN_H_

namespace q7k {
namespace emu {

struct Specimen {
  double capacitance = 1.0e-9;  // farads; used when inductance is 0
  double inductance = 0.0;      // henries; non-zero makes it inductive
  double dissipation = 0.004;   // tan delta, at least 0
};

// What the instrument derives from one measurement. Units: kV, A, W, VAR,
// percent, F, H, ohm. Equivalent values of the other kind carry a negative
// sign (a capacitor shows a negative equivalent inductance and the other
// way round).
struct SpecimenReadings {
  double kilovolts = 0;
  double amperes = 0;
  double watts = 0;
  double vars = 0;
  double powerFactor = 0;  // percent
  double tangentDelta = 0;
  double sineThetaX100 = 0;
  double seriesCap = 0;
  double parallelCap = 0;
  double seriesInd = 0;
  double parallelInd = 0;
  double seriesRes = 0;
  double parallelRes = 0;
};

// The readings at volts (RMS) and hertz. Zero volts gives zero current and
// power but still the component values; a frequency of 0 or below gives
// all zeros. A lossless specimen reports a parallel resistance of 0 rather
// than an infinity a host could not format.
SpecimenReadings Measure(const Specimen& specimen, double volts, double hertz);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_SPECIMEN_H_
