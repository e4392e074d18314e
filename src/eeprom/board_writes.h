// Writes of a board EEPROM: the 6-byte board address (board_reads.h) and
// the values, little-endian; the replies carry nothing used.
//   0x7E04 one word (8 bytes)         0x7E08 one 32-bit value (10 bytes)
//   0x7E05 32 words (70 bytes)        0x7E09 16 floats (70 bytes)
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_BOARD_WRITES_H_
#define Q7K_EEPROM_BOARD_WRITES_H_

#include <cstdint>

#include "link/command_channel.h"

namespace q7k {

// False: the failure is recorded in the channel's error record (or there
// is no link).
bool WriteBoardWord(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, int16_t value);
// A float travels as its bit pattern.
bool WriteBoardLong(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, uint32_t value);
bool WriteBoard32(const CommandChannel& channel, int16_t slot, int16_t subslot,
                  int16_t location, const int16_t* words);
bool WriteBoardFloat16(const CommandChannel& channel, int16_t slot,
                       int16_t subslot, int16_t location, const float* floats);

}  // namespace q7k

#endif  // Q7K_EEPROM_BOARD_WRITES_H_
