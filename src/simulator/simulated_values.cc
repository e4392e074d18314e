#include "simulator/simulated_values.h"

#include <cstring>

#include "simulator/noise.h"

namespace q7k {

void SimulatedThermalData(bool fast, Q7K_THERMAL_DATA& thermal) {
  const double n = Noise(0.7, /*quiet=*/false, fast);
  thermal.ExtTemperature = 28.5 + n;
  thermal.ExtHumidity = 63.0 + n;
  thermal.EstXfmrTemp = 45.0 + n;
  thermal.CardCageTemp = 36.5 + n;
  thermal.XfmrCurrent = 55.7 + n;
  thermal.AmplifierTemp = 57.3 + n;
  thermal.MainRefTemp = 48.2 + n;
  thermal.CalRefTemp = 49.8 + n;
  thermal.ExtSensorInserted = 1;
}

void StoreSimulatedCalInfo(int16_t (&calDone)[kCalBlocks],
                           char (&calDate)[kCalBlocks][kCalDateSlot]) {
  static_assert(sizeof kSimulatedCalDate <= kCalDateSlot, "date slot");
  for (int block = 0; block < kCalBlocks; ++block) {
    calDone[block] = kSimulatedCalDone;
    std::memset(calDate[block], 0, kCalDateSlot);
    std::memcpy(calDate[block], kSimulatedCalDate, sizeof kSimulatedCalDate);
  }
}

void StoreSimulatedReferenceValues(float (&calResistor)[kRefChannels],
                                   float (&calPoleFreq)[kRefChannels]) {
  for (int channel = 0; channel < kRefChannels; ++channel) {
    calResistor[channel] = kSimulatedCalResistor[channel];
    calPoleFreq[channel] = kSimulatedCalPoleFreq[channel];
  }
}

}  // namespace q7k
