// The simulated result poll: the voltage ramp of SIMUL_CLIP, the ranging
// phase of the first polls, and the measured values of the simulated
// specimen with noise.
//
// Thread safety: call on the client's thread (draws from rand()).
#ifndef Q7K_SIMULATOR_SIMULATED_RESULTS_H_
#define Q7K_SIMULATOR_SIMULATED_RESULTS_H_

#include "q7kcomm/types.h"
#include "simulator/simulator_state.h"

namespace q7k {

// Which method polls: the full variant (one call) starts quiet, that is
// without noise; the receive variant (second half of the pair) with noise.
enum class ResultsVariant { kFull, kReceive };

// Polls kept as "ranging" after a start or a runtime update.
inline constexpr int32_t kSimulatedRangingPolls = 7;

// SIMUL_CLIP's voltage ramp through a normal/reverse change, one step per
// poll, on the client's test parameters (KVolt, NormRevEnable,
// NormRevStatus, VoltageSettling).
void SimulateRamp(Q7K_TEST_PARAMS& params);

// One simulated result poll: fills data and thermal (only the fields the
// instrument would report) and updates params (Ranging, WattsAdjustment,
// the ramp, the voltage-control waits of an excitation test) and state
// (magnitudes, poll count).
void SimulatedTestResults(SimulatorState& state,
                          const SimulatorSettings& settings,
                          ResultsVariant variant, Q7K_TEST_PARAMS& params,
                          Q7K_TEST_DATA& data, Q7K_THERMAL_DATA& thermal);

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATED_RESULTS_H_
