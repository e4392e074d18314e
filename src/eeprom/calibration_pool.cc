#include "eeprom/calibration_pool.h"

#include "eeprom/board_layout.h"

namespace q7k {
namespace {

constexpr float kUnreadMarker = 10.0f;
constexpr int16_t kReferenceSlot = 0;
constexpr int16_t kReferenceSubslot = 3;
constexpr int16_t kRevisionScale = 20;

}  // namespace

bool LoadReferenceValues(IQ7kEeprom* eeprom, int16_t calType,
                         CalibrationCache* cal) {
  const int n = calType != 0 ? 6 : 4;
  float value[6] = {};
  for (int i = 0; i < n; ++i) {
    const auto at = static_cast<int16_t>(board::kReferenceValues + 2 * i);
    if (FAILED(eeprom->ReadFloat(kReferenceSlot, kReferenceSubslot, at,
                                 &value[i]))) {
      return false;
    }
  }
  cal->CalResistor[RED_RES] = value[0];
  cal->CalPoleFreq[RED_RES] = value[1];
  // The same two floats mean the blue channel for type 0, mid-red else.
  const REFCAL_INDEX third = calType == 0 ? BLUE_RES : MRED_RES;
  cal->CalResistor[third] = value[2];
  cal->CalPoleFreq[third] = value[3];
  if (calType != 0) {
    cal->CalResistor[NBLUE_RES] = value[4];
    cal->CalPoleFreq[NBLUE_RES] = value[5];
  }
  return true;
}

void MarkCoefficientsUnread(CalibrationCache* cal) {
  for (int k = 0; k < kCoefficients; ++k) {
    cal->GainCoeffs[k] = kUnreadMarker;
    cal->PhaseCoeffs[k] = kUnreadMarker;
  }
}

void TakeSystemCoefficients(const EepromImage& backplane, int16_t calBlock,
                            CalibrationCache* cal) {
  const int b = calBlock != 0 ? board::kFactoryBlock : board::kFieldBlock;
  const auto& w = backplane.words();
  cal->CalRevision =
      static_cast<int16_t>(w[static_cast<size_t>(b + board::kBlockRevision)]);
  for (int k = 0; k < kCoefficients; ++k) {
    backplane.GetFloat(b + board::kBlockGain + 4 * k, &cal->GainCoeffs[k]);
    backplane.GetFloat(b + board::kBlockPhase + 4 * k, &cal->PhaseCoeffs[k]);
  }
}

void ResetSystemCoefficients(CalibrationCache* cal) {
  for (int k = 0; k < kCoefficients; ++k) {
    cal->GainCoeffs[k] = 1.0f;
    cal->PhaseCoeffs[k] = 0.0f;
  }
}

int16_t CalDataRevision(int16_t word) {
  return static_cast<int16_t>(word / kRevisionScale);
}

}  // namespace q7k
