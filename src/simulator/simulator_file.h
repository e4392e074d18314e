// Reading the simulator data file: which section each mode reads, the key
// names, the walk of the test number through the file's test keys, and the
// splitting of a value "I~W~C" into its numbers.
//
// Thread safety: functions are safe from any thread (the catalog is
// constant); the in/out test number belongs to the caller.
#ifndef Q7K_SIMULATOR_SIMULATOR_FILE_H_
#define Q7K_SIMULATOR_SIMULATOR_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "q7kcomm/types.h"
#include "simulator/profile_reader.h"

namespace q7k {

inline constexpr char kSimulatorValueSeparator = '~';

// The section mode reads its specimens from; empty for modes without one
// (SIMUL_EXC, SIMUL_CAL, SIMUL_NONE and unknown values). Names come from
// the catalog in English whatever the client's language.
std::string SimulatorSection(SIMUL_MODE mode);

// The section of the calibration error pairs (SIMUL_CAL).
std::string CalibrationErrorSection();

// "Test%2d": "Test 1" ... "Test 9", "Test10", ...
std::string SimulatorTestKey(int32_t testNumber);

// The key of the calibration error pair of calibration test calTestNum: the
// range label for 1 to 7 ("300 uA" ... "300 mA"), "Guard" for 8, "GSTLoss"
// for 9 and above; empty (no key) below 1.
std::string CalibrationErrorKey(int32_t calTestNum);

// Reads the value of key "Test%2d" for *testNumber from section and steps
// *testNumber on; when that key gives no text, reads test 1 instead and sets
// *testNumber to 2. Returns the value, empty when nothing was found.
// REQUIRES: testNumber != nullptr.
std::string ReadSimulatorTestValue(const ProfileFile& file,
                                   std::string_view section,
                                   int32_t* testNumber);

// The fields of value between separators, in order (one field for a value
// without separator).
std::vector<std::string_view> SplitSimulatorValue(std::string_view value);

// field read as the standard text-to-double conversion reads it (leading
// blanks skipped, the longest number prefix taken, 0.0 when there is none).
double SimulatorNumber(std::string_view field);

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATOR_FILE_H_
