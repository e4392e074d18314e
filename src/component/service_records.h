// The replies of the service and calibration commands, decoded into the
// interface records and the calibration cache.
//
// Calibration information (command 19), 50 bytes: five groups of 10 bytes,
// one per block in the order backplane field, backplane factory, guard, main
// reference, field reference: a "done" word, then up to 8 date characters
// (a zero byte ends them).
//
// Reference coefficients (command 21), 24 bytes: resistor and pole
// frequency (floats) for the main, red and blue channels in turn.
//
// Raw results (0x7E16), 34 bytes: five words (ranging, groups, specimen
// groups, voltage groups, results type), then six floats (specimen peak,
// reference peak, specimen vector x/y, reference vector x/y).
//
// Each decoder returns false, with nothing written, when n is short of its
// layout.
//
// Thread safety: pure functions.
#ifndef Q7K_COMPONENT_SERVICE_RECORDS_H_
#define Q7K_COMPONENT_SERVICE_RECORDS_H_

#include <cstddef>
#include <cstdint>

#include "eeprom/calibration_cache.h"
#include "q7kcomm/types.h"

namespace q7k {

inline constexpr size_t kCalInfoBytes = 50;
inline constexpr size_t kRefCoeffBytes = 24;
inline constexpr size_t kRawResultBytes = 34;

// Replaces every block's done flag and date.
bool DecodeCalInfo(const uint8_t* p, size_t n, CalibrationCache* cal);
// Replaces the main, red and blue resistors and pole frequencies.
bool DecodeRefCalCoeffs(const uint8_t* p, size_t n, CalibrationCache* cal);
// Fills every field of raw but FilterType.
bool DecodeRawResults(const uint8_t* p, size_t n, Q7K_RAW_DATA* raw);

}  // namespace q7k

#endif  // Q7K_COMPONENT_SERVICE_RECORDS_H_
