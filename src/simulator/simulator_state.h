// SimulatorState: what the instrument simulator remembers between calls of
// one component object (the simulated specimen, the two decreasing
// magnitudes, the calibration error pair and the file walk), and
// SimulatorSettings: the object's switches the simulator reads.
//
// Thread safety: plain data, used on the client's thread.
#ifndef Q7K_SIMULATOR_SIMULATOR_STATE_H_
#define Q7K_SIMULATOR_SIMULATOR_STATE_H_

#include <cstdint>
#include <string>

#include "q7kcomm/types.h"

namespace q7k {

// The simulator data file, looked up in the current directory.
inline constexpr char kSimulatorDataFile[] = "Q7kSimul.dat";

// State kept by the component object for the simulator. The specimen values
// are set at each simulated test start; before the first start they are 0.
struct SimulatorState {
  float specCurrent = 0.0f;      // I, mA
  float specWatts = 0.0f;        // W
  float specReactive = 0.0f;     // C: farads (> 0) or minus henries (< 0)
  float specResistance = 0.0f;   // R, ohms
  float specImpedance = 0.0f;    // Z, ohms
  float specPowerFactor = 0.0f;  // percent
  float specTanDelta = 0.0f;     // ratio
  float specSinTheta = 0.0f;
  float specCosTheta = 0.0f;
  float refMagnitude = 0.0f;      // reported as RefVoltageMag
  float currentMagnitude = 0.0f;  // reported as SpecCurrentMag
  // SIMUL_CAL: the range's gain and phase errors in percent (ea, eb); kept
  // across starts when the data file gives none.
  float calErrorPair[2] = {0.0f, 0.0f};
  int32_t simTestNumber = 1;  // next "Test%2d" key of the data file
  int32_t simPollCount = 0;   // result polls since the start
};

// The component object's settings that shape the simulation.
struct SimulatorSettings {
  SIMUL_MODE mode = SIMUL_NONE;
  bool fast = false;              // SimulFast: no noise, no waiting
  int16_t boxType = 0;            // SimulBoxType
  float runtimeFrequency = 0.0f;  // Frequency of the last runtime parameters
  std::string dataFile = kSimulatorDataFile;
};

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATOR_STATE_H_
