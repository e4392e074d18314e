// The calibration values the component object caches: reference resistors
// and pole frequencies per reference channel, the coefficient tables, the
// data revision and each calibration block's done flag and date.
//
// Thread safety: plain data, used on the client's thread.
#ifndef Q7K_EEPROM_CALIBRATION_CACHE_H_
#define Q7K_EEPROM_CALIBRATION_CACHE_H_

#include <cstdint>

namespace q7k {

inline constexpr int kRefChannels = 5;    // REFCAL_INDEX 0..4
inline constexpr int kCoefficients = 10;  // GainCoeffs / PhaseCoeffs
inline constexpr int kCalBlocks = 6;      // CAL_INDEX 0..5
inline constexpr int kCalDateSlot = 10;   // 8 characters and zeros

struct CalibrationCache {
  float CalResistor[kRefChannels] = {};
  float CalPoleFreq[kRefChannels] = {};
  int16_t CalRevision = 0;
  float GainCoeffs[kCoefficients] = {};
  float PhaseCoeffs[kCoefficients] = {};
  int16_t CalDone[kCalBlocks] = {};
  char CalDate[kCalBlocks][kCalDateSlot] = {};
};

}  // namespace q7k

#endif  // Q7K_EEPROM_CALIBRATION_CACHE_H_
