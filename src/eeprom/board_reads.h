// Reads of a board EEPROM. Every request starts with the 6-byte board
// address
//
//   offset 0  2 bytes  slot
//   offset 2  2 bytes  subslot
//   offset 4  2 bytes  location (word index 0..255)
//
// and every reply carries the values at the start of its data:
//   0x7E06 one word          0x7E0A one 32-bit value (integer or float)
//   0x7E07 32 words          0x7E0B 16 floats (the same 32 locations)
//   0x7E0C (slot and subslot only) the instrument's checksum word
// Locations and board addresses are the instrument's to check.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_BOARD_READS_H_
#define Q7K_EEPROM_BOARD_READS_H_

#include <cstdint>

#include "link/command_channel.h"
#include "link/le_bytes.h"

namespace q7k {

inline constexpr int16_t kLastEepromLocation = 255;
inline constexpr int kBlockWords = 32;
inline constexpr int kBlockFloats = 16;

// The 6-byte board address that leads every EEPROM request.
PayloadWriter BoardAddress(int16_t slot, int16_t subslot, int16_t location);

// Each reads into its output only when the exchange succeeds; the single
// reads set *out to 0 first. False: the failure is recorded in the
// channel's error record (or there is no link). A reply without a frame
// succeeds and reads nothing.
bool ReadBoardWord(const CommandChannel& channel, int16_t slot, int16_t subslot,
                   int16_t location, int16_t* out);
bool ReadBoardLong(const CommandChannel& channel, int16_t slot, int16_t subslot,
                   int16_t location, int32_t* out);
bool ReadBoardFloat(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, float* out);
// 32 words into words; each is also added to *sum (16-bit, wrapping).
bool ReadBoard32(const CommandChannel& channel, int16_t slot, int16_t subslot,
                 int16_t location, int16_t* words, int16_t* sum);
bool ReadBoardFloat16(const CommandChannel& channel, int16_t slot,
                      int16_t subslot, int16_t location, float* floats);
bool ReadBoardChecksum(const CommandChannel& channel, int16_t slot,
                       int16_t subslot, int16_t* out);

}  // namespace q7k

#endif  // Q7K_EEPROM_BOARD_READS_H_
