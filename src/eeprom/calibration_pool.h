// The calibration coefficient pool's loaders: reference resistor values and
// pole frequencies from the cal reference protection board, the system gain
// and phase coefficients and the revision from one of the backplane's
// calibration blocks.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_CALIBRATION_POOL_H_
#define Q7K_EEPROM_CALIBRATION_POOL_H_

#include <cstdint>

#include "eeprom/calibration_cache.h"
#include "eeprom/eeprom_image.h"
#include "q7kcomm/interfaces.h"

namespace q7k {

// Reads the reference values with the component's own ReadFloat: four
// floats (red and blue) for calType 0, else six (red, mid-red, near blue).
// False, with the pool unchanged, when a read failed (it has reported).
bool LoadReferenceValues(IQ7kEeprom* eeprom, int16_t calType,
                         CalibrationCache* cal);

// Every gain and phase at the marker 10.0, which the simulator takes as
// "no correction", so a failed load leaves no stale coefficients.
void MarkCoefficientsUnread(CalibrationCache* cal);
// Revision and coefficients from the backplane image: the factory block
// when calBlock is not 0, else the field block.
void TakeSystemCoefficients(const EepromImage& backplane, int16_t calBlock,
                            CalibrationCache* cal);
// Gains 1.0, phases 0.0.
void ResetSystemCoefficients(CalibrationCache* cal);

// The calibration data revision stored as 20 times its value.
int16_t CalDataRevision(int16_t word);

}  // namespace q7k

#endif  // Q7K_EEPROM_CALIBRATION_POOL_H_
