// Board identity: texts and numbers read word by word from a board EEPROM
// (command 0x7E06), and the board key that tells which slot holds a board.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_BOARD_IDENTITY_H_
#define Q7K_EEPROM_BOARD_IDENTITY_H_

#include <cstdint>
#include <string>

#include "link/command_channel.h"

namespace q7k {

inline constexpr int kBoardKeyChars = 4;
inline constexpr size_t kSearchKeyChars = 7;

// Reads words first.. first+count-1 and puts their characters at
// out[step*k] and out[step*k+1], stopping at the first failed read (false,
// recorded). out must hold step*count bytes.
bool ReadBoardChars(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t first, int count, int step,
                    char* out);

// Two characters read as a decimal number: leading blanks, a sign, then
// digits up to the first other character; no digit gives 0.
int16_t DecimalOfChars(uint16_t word);

// The first 4 characters agree (a comparison that stops where both end).
bool KeysMatch(const std::string& key,
               const char (&boardKey)[kBoardKeyChars + 1]);

}  // namespace q7k

#endif  // Q7K_EEPROM_BOARD_IDENTITY_H_
