// Where the component finds things in a board EEPROM: 256 16-bit words,
// locations are word indexes; 32-bit values low word first; texts two
// characters a word, the first in the low byte.
#ifndef Q7K_EEPROM_BOARD_LAYOUT_H_
#define Q7K_EEPROM_BOARD_LAYOUT_H_

#include <cstdint>

namespace q7k::board {

inline constexpr int kWords = 256;

inline constexpr uint16_t kHeaderSignature = 0x5A0F;
inline constexpr int16_t kSignature = 0;
inline constexpr int16_t kWriteCount = 1;
inline constexpr int16_t kPartNumber = 3;  // 12 characters
inline constexpr int16_t kKey = 5;       // 4 characters inside the part number
inline constexpr int16_t kRevision = 9;  // 4 bytes
inline constexpr int16_t kName = 11;     // 32 characters
inline constexpr int16_t kAssySerial = 27;
inline constexpr int16_t kMnemonic = 29;  // 8 bytes
inline constexpr int16_t kBoardDate = 33;
inline constexpr int16_t kXfmrSerial = 40;  // backplane, 8 characters
inline constexpr int16_t kChecksumWord = 255;

// A board's own calibration record.
inline constexpr int16_t kRecordRevision = 50;
inline constexpr int16_t kRecordFactors = 51;
inline constexpr int16_t kRecordDate = 52;
inline constexpr int16_t kRecordInitials = 55;
inline constexpr int16_t kRecordValidBits = 58;

// The backplane's instrument serial number and its two calibration blocks.
inline constexpr int16_t kInstrumentSerial = 52;
inline constexpr int16_t kFactoryBlock = 64;
inline constexpr int16_t kFieldBlock = 164;

// Offsets inside a calibration block.
inline constexpr int16_t kBlockRevision = 0;
inline constexpr int16_t kBlockFactors = 1;
inline constexpr int16_t kBlockDate = 2;
inline constexpr int16_t kBlockInitials = 5;
inline constexpr int16_t kBlockHeaderWords = 8;
inline constexpr int16_t kBlockValidBits = 8;
inline constexpr int16_t kBlockGuardSerial = 16;
inline constexpr int16_t kBlockSwitchSerial = 18;
inline constexpr int16_t kBlockMainRefSerial = 20;
inline constexpr int16_t kBlockBackplaneSerial = 22;
inline constexpr int16_t kBlockGain = 24;   // + 4k
inline constexpr int16_t kBlockPhase = 26;  // + 4k

// The reference values on the cal reference protection board (0, 3).
inline constexpr int16_t kReferenceValues = 64;

}  // namespace q7k::board

#endif  // Q7K_EEPROM_BOARD_LAYOUT_H_
