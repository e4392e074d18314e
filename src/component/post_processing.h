// Post-processing of measured values: the one-time watts correction, sign
// fixes, the pinned power factor, the noise floor and the reference to
// 10 kV; and the arithmetic of the watts correction stored in the
// backplane EEPROM.
//
// Thread safety: pure functions on the caller's records; safe from any
// thread on distinct records.
#ifndef Q7K_COMPONENT_POST_PROCESSING_H_
#define Q7K_COMPONENT_POST_PROCESSING_H_

#include <cstdint>

#include "eeprom/board_layout.h"
#include "q7kcomm/types.h"

namespace q7k {

// Backplane EEPROM words (slot 0, subslot 0) of the watts correction: the
// field calibration block's revision (signed) and its second valid-factor
// word, which flags the correction; the two floats lie behind the block.
inline constexpr int16_t kWattsRevisionLocation =
    board::kFieldBlock + board::kBlockRevision;
inline constexpr int16_t kWattsFlagsLocation =
    board::kFieldBlock + board::kBlockValidBits + 1;
inline constexpr int16_t kWattsUstLocation = 230;  // float, UST circuits
inline constexpr int16_t kWattsGstLocation = 232;  // float, GST circuits

// The correction is stored only from this revision on, and only when this
// bit of the flag word is set.
inline constexpr int16_t kWattsFirstRevision = 1011;
inline constexpr uint16_t kWattsStoredFlag = 0x0800;

// Post-processes one result set in place (AdjustTestData). Clears
// params.AdjustWatts once the correction has been applied.
void AdjustTestData(Q7K_TEST_PARAMS& params, Q7K_TEST_DATA& data);

// True when the EEPROM holds a watts correction: revision >= 1011 and the
// flag bit set. Without one the adjustment is 0.0.
bool WattsAdjustmentStored(int16_t revision, uint16_t flags);

// The EEPROM location of the correction float for circuit (UST circuits,
// CircDesc >= 4, use 230; the others 232).
int16_t WattsAdjustmentLocation(CIRC_DESC circuit);

// The adjustment from the EEPROM words: 0.0 when none is stored, else the
// stored correction at 10 kV scaled by (kVoltMax / 10)^2.
float WattsAdjustmentFromEeprom(int16_t revision, uint16_t flags,
                                float storedAt10kV, float kVoltMax);

}  // namespace q7k

#endif  // Q7K_COMPONENT_POST_PROCESSING_H_
