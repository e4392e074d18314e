// The boards of the instrument and the EEPROM contents they leave the
// factory with.
//
// EEPROM encodings (256 16-bit words, locations are word indexes): 32-bit
// values low word first; texts two characters a word, first character in the
// low byte, NUL-padded; dates as the six characters MMDDYY. Location 255 is
// the checksum word that makes the 16-bit sum of all words 0.
//
// Thread safety: the functions are pure.
#ifndef Q7K_EMULATOR_BOARD_INVENTORY_H_
#define Q7K_EMULATOR_BOARD_INVENTORY_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace q7k {
namespace emu {

constexpr int kEepromWords = 256;
using EepromWords = std::array<uint16_t, kEepromWords>;

// One board: slot 0 holds four boards told apart by subslot (0 backplane,
// 1 amplifier control, 2 main reference, 3 cal reference protection); the
// boards of slots 1, 2, 4, 6, 7 and 8 answer to any subslot and are listed
// with subslot 0.
struct BoardImage {
  int16_t slot = 0;
  int16_t subslot = 0;
  EepromWords words{};
};

// The ten boards with their factory contents, consistent checksums.
std::vector<BoardImage> InitialBoards();

// The 16-bit sum of all words; 0 for a consistent EEPROM.
uint16_t WordSum(const EepromWords& words);
// Sets location 255 so that WordSum is 0.
void SealChecksum(EepromWords* words);
// Count bytes of text from byte 2 x location on, NUL-padded.
void PutText(EepromWords* words, int location, const std::string& text,
             int count);
// Count characters from byte 2 x location on.
std::string GetText(const EepromWords& words, int location, int count);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_BOARD_INVENTORY_H_
