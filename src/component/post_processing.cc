#include "component/post_processing.h"

#include <cmath>

namespace q7k {
namespace {

constexpr float kPinnedPowerFactor = 99.99f;

}  // namespace

void AdjustTestData(Q7K_TEST_PARAMS& params, Q7K_TEST_DATA& data) {
  if (data.KVoltMeas == 0.0f) {
    data.KVoltCalc = 0.0f;
    data.Amperes = 0.0f;
    data.Watts = 0.0f;
    data.PowerFactor = 0.0f;
    data.TangentDelta = 0.0f;
    data.SeriesCap = 0.0f;
    data.ParallelCap = 0.0f;
    data.SeriesInd = 0.0f;
    data.ParallelInd = 0.0f;
    data.SeriesRes = 0.0f;
    data.ParallelRes = 0.0f;
    data.SpecimenPeak = 0.0f;
    data.SpecimenPeakMin = 0.0f;
    data.SpecimenPeakMax = 0.0f;
    return;
  }
  if (params.TypeOfCal == RE_CAL && data.PowerFactor < 0) {
    data.Watts *= -1.0;
  }
  if (params.AdjustWatts != 0) {
    params.AdjustWatts = 0;
    float watts = data.Watts;
    if (data.PowerFactor < 0) watts *= -1.0;
    watts -= params.WattsAdjustment;
    data.Watts = watts;
    if (data.KVoltCalc == 0.0f || data.Amperes == 0.0f) {
      data.PowerFactor = watts < 0 ? -kPinnedPowerFactor : kPinnedPowerFactor;
    }
    if (params.TypeOfCal == NO_CAL && watts < 0) data.Watts = -watts;
  }
  if (params.TypeOfCal != NO_CAL) return;
  if (std::fabs(data.Amperes) < 1e-7) data.Amperes = 0.0f;
  if (std::fabs(data.Watts) < 1e-5) data.Watts = 0.0f;
  if (data.PowerFactor > -0.05 && data.PowerFactor <= 0.0) {
    data.Watts = 0.0f;
    data.PowerFactor = 0.0f;
    data.TangentDelta = 0.0f;
  }
  if (params.DisplayMode == REF_TO_10KV && data.KVoltCalc != 0.0f) {
    const double r = 10.0 / data.KVoltCalc;
    data.Amperes = data.Amperes * r;
    data.Watts = data.Watts * r * r;
  }
}

bool WattsAdjustmentStored(int16_t revision, uint16_t flags) {
  return revision >= kWattsFirstRevision && (flags & kWattsStoredFlag) != 0;
}

int16_t WattsAdjustmentLocation(CIRC_DESC circuit) {
  return circuit >= CIRC_UST_RB ? kWattsUstLocation : kWattsGstLocation;
}

float WattsAdjustmentFromEeprom(int16_t revision, uint16_t flags,
                                float storedAt10kV, float kVoltMax) {
  if (!WattsAdjustmentStored(revision, flags)) return 0.0f;
  const double scale = kVoltMax * 0.1;
  return scale * scale * storedAt10kV;
}

}  // namespace q7k
