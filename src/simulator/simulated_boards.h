// The simulated instrument's ten boards: the EEPROM content a simulated
// ReadContents returns for each board address.
//
// Thread safety: the function is pure apart from its output.
#ifndef Q7K_SIMULATOR_SIMULATED_BOARDS_H_
#define Q7K_SIMULATOR_SIMULATED_BOARDS_H_

#include <cstdint>

#include "eeprom/eeprom_image.h"

namespace q7k {

// Fills image with the board at (slot, subslot), or with zeros where no
// simulated board sits; either way the checksum word makes the 256 words
// sum to 0. Slot 0 holds four boards told apart by subslot 0..3; slots 1,
// 2, 4, 6, 7 and 8 hold one board each, whatever the subslot. The image's
// Checksum value is not touched.
void FillSimulatedBoard(int16_t slot, int16_t subslot, EepromImage* image);

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATED_BOARDS_H_
