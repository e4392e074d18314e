// The fixed answers of the simulator: thermal data, calibration status, the
// reference resistor and pole-frequency values, and the watts adjustment.
//
// Thread safety: the constants are immutable; SimulatedThermalData draws
// from rand() and belongs on the client's thread.
#ifndef Q7K_SIMULATOR_SIMULATED_VALUES_H_
#define Q7K_SIMULATOR_SIMULATED_VALUES_H_

#include <cstdint>

#include "eeprom/calibration_cache.h"
#include "q7kcomm/types.h"

namespace q7k {

// The watts correction the simulated instrument reports.
inline constexpr float kSimulatedWattsAdjustment = 0.0025f;

// Every calibration block of the simulated instrument is done, on this date.
inline constexpr int16_t kSimulatedCalDone = 1;
inline constexpr char kSimulatedCalDate[] = "09/02/97";

// The simulated reference channels, by REFCAL_INDEX. The bit patterns are
// the stored ones: 0x4992AC1F, 0x476987CD, 0x49ABB9FE, 0x4478906A,
// 0x459C120D; pole frequency of MAIN_RES 0xC78958AF.
inline constexpr float kSimulatedCalResistor[kRefChannels] = {
    1201539.875f, 59783.80078125f, 1406783.75f, 994.2564697265625f,
    4994.25634765625f};
inline constexpr float kSimulatedCalPoleFreq[kRefChannels] = {
    -70321.3671875f, 0.0f, 0.0f, 0.0f, 0.0f};

// Fills the temperatures, humidity and currents with the simulated values
// plus one common noise value (none when fast) and sets ExtSensorInserted;
// HeatingStatus, OvertempVal, CooldownTemp, AmpInputCurrent and the
// counters keep their values.
void SimulatedThermalData(bool fast, Q7K_THERMAL_DATA& thermal);

// Marks every calibration block done with kSimulatedCalDate.
void StoreSimulatedCalInfo(int16_t (&calDone)[kCalBlocks],
                           char (&calDate)[kCalBlocks][kCalDateSlot]);

// Stores the simulated reference values into all five channels.
void StoreSimulatedReferenceValues(float (&calResistor)[kRefChannels],
                                   float (&calPoleFreq)[kRefChannels]);

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATED_VALUES_H_
