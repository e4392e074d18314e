// Lines q7k prints, the same on every platform.
#ifndef Q7K_TESTS_TOOLS_Q7K_EXPECTED_OUTPUT_H_
#define Q7K_TESTS_TOOLS_Q7K_EXPECTED_OUTPUT_H_

#include <vector>

namespace q7k {

// `demo --fast`: 4.567 mA, 2.345 W, 678.9 pF at 10 kV and 60 Hz.
inline const std::vector<const char*> kSimulatedDemoLines = {
    "StopQ7kTest              ok", "Measured (after 8 polls)", "4.567 mA",
    "678.9 pF", "Power factor                                2.87871 %"};
// The emulator after the firmware check; a session on its 1000 pF specimen.
inline const std::vector<const char*> kEmulatorDemoLines = {
    "1     Q7I      06/03/24 12:00:00 01.20.02",
    "Instrument application: Q7I      01.20.02",
    "Parallel capacitance                           1000 pF"};

}  // namespace q7k

#endif  // Q7K_TESTS_TOOLS_Q7K_EXPECTED_OUTPUT_H_
