// The wire forms of the test records: request payloads built from the
// interface records and the result and thermal replies decoded into them.
//
// Result reply (commands 6 and 22), offsets in the reply data:
//   0   2   status: 1 ranging, 2 voltage settling, else results valid
//   2   2   normal/reverse status (signed)      -> NormRevStatus
//   4   2   voltage scale (unsigned)            -> VoltageScale
//   6   2   current range (signed)              -> CurrentRange
//   8   2   filter type (signed)                -> FilterType
//   10  4   KVoltMeas
//   14  64  KVoltCalc .. ParallelRes, 16 floats (not while ranging)
//   78  4   FrequencyMeas
//   82  4   SpecimenPeak (not while ranging)
//   86  4   ReferencePeak
//   90  2   SamplesAveraged
//   92  54  thermal block
//   146 2   toggle state      (extended replies only)
//   148 2   stable flag       (extended replies only)
//   150 4   SpecimenPeakMin   (extended replies only)
//   154 4   SpecimenPeakMax   (extended replies only)
//
// Thermal block (also the whole reply of command 18):
//   0..40 11 floats ExtTemperature .. CooldownTemp; 44 HeatingStatus;
//   46 XfmrOverheatTime (unsigned); 48 XfmrCooldownTime (unsigned);
//   50 ExtSensorInserted; 52 IntCurrentCounter (unsigned); 2 bytes each.
//
// Thread safety: pure functions.
#ifndef Q7K_COMPONENT_INSULATION_TEST_RECORDS_H_
#define Q7K_COMPONENT_INSULATION_TEST_RECORDS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "q7kcomm/types.h"

namespace q7k {

inline constexpr size_t kResultReplyBytes = 146;
inline constexpr size_t kExtendedResultReplyBytes = 158;
inline constexpr size_t kThermalBlockBytes = 54;

// Command 3 payload (32 bytes) and command 4 payload (22 bytes).
std::vector<uint8_t> EncodeInitParams(const Q7K_INIT_PARAMS& p);
std::vector<uint8_t> EncodeRuntimeParams(const Q7K_RUNTM_PARAMS& p);
// Commands 6 and 22: FilterType and the low 16 bits of SamplesToAvg.
std::vector<uint8_t> EncodeResultRequest(const Q7K_TEST_PARAMS& p);

void DecodeThermalBlock(const uint8_t* block, Q7K_THERMAL_DATA* thermal);

// Decodes a result reply of n bytes into the records and advances the
// voltage-control toggle machine. False, with nothing written, when the
// reply is shorter than the layout it claims (146 bytes, or 158 for an
// extended reply, which is any reply longer than 146).
bool DecodeTestResults(const uint8_t* reply, size_t n, Q7K_TEST_PARAMS* params,
                       Q7K_TEST_DATA* data, Q7K_THERMAL_DATA* thermal);

}  // namespace q7k

#endif  // Q7K_COMPONENT_INSULATION_TEST_RECORDS_H_
