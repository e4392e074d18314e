// Single-value reads of a board EEPROM: command 0x7E06 for a word, 0x7E0A
// for a 32-bit value, each with the 6-byte board address
//
//   offset 0  2 bytes  slot
//   offset 2  2 bytes  subslot
//   offset 4  2 bytes  location (word index 0..255)
//
// and the value at the start of the reply data.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_BOARD_READS_H_
#define Q7K_EEPROM_BOARD_READS_H_

#include <cstdint>

#include "link/command_channel.h"
#include "link/le_bytes.h"

namespace q7k {

inline constexpr int16_t kLastEepromLocation = 255;

// The 6-byte board address that leads every EEPROM request.
PayloadWriter BoardAddress(int16_t slot, int16_t subslot, int16_t location);

// Each reads one value into *out (0 on failure). False: the failure is
// recorded in the channel's error record (or there is no link).
bool ReadBoardWord(const CommandChannel& channel, int16_t slot, int16_t subslot,
                   int16_t location, int16_t* out);
bool ReadBoardFloat(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, float* out);

// The simulated backplane's fixed answers: its calibration revision and
// flag words; 0 elsewhere.
int16_t SimulatedBoardWord(int16_t slot, int16_t subslot, int16_t location);

}  // namespace q7k

#endif  // Q7K_EEPROM_BOARD_READS_H_
