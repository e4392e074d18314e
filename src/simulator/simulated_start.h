// The simulated test start: prepares the simulated specimen (current,
// watts, capacitance or inductance, and the values derived from them) from
// the test parameters, the simulator data file or the mode's defaults, and
// for SIMUL_CAL from the calibration pool.
//
// Thread safety: call on the client's thread (reads the current directory's
// data file, and the calibration pool the caller owns).
#ifndef Q7K_SIMULATOR_SIMULATED_START_H_
#define Q7K_SIMULATOR_SIMULATED_START_H_

#include "eeprom/calibration_cache.h"
#include "q7kcomm/types.h"
#include "simulator/simulator_state.h"

namespace q7k {

// The calibration pool entries the calibration specimen uses. SIMUL_CAL
// replaces a zero gain coefficient of the tested range by 0.01.
struct SimulatorCalPool {
  const float (&calResistor)[kRefChannels];  // by REFCAL_INDEX
  float (&gainCoeffs)[kCoefficients];
  const float (&phaseCoeffs)[kCoefficients];  // degrees
};

// Starts a simulated test from params: sets the specimen of state (and
// resets state.simPollCount to 0). Outside SIMUL_CAL the specimen comes
// from the key "Test%2d" of state.simTestNumber in the mode's section of
// settings.dataFile when that file exists (walking and wrapping the test
// number), else from the mode's defaults. In SIMUL_CAL it is built from the
// reference resistor of range params.CalTestNum, the file's error pair and
// the range's coefficients; a CalTestNum outside 1..10 applies no
// coefficients.
void SimulatedTestStart(SimulatorState& state,
                        const SimulatorSettings& settings,
                        const Q7K_TEST_PARAMS& params,
                        const SimulatorCalPool& pool);

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATED_START_H_
