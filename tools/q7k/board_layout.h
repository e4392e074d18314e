// One board EEPROM image decoded for people and scripts: the board header,
// the board's own calibration record or the backplane's two calibration
// blocks, and the 256 words. Decoded through the image accessors, the way
// a host reads them.
#ifndef Q7K_TOOLS_Q7K_BOARD_LAYOUT_H_
#define Q7K_TOOLS_Q7K_BOARD_LAYOUT_H_

#include <q7kcomm/q7kcomm.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace q7k::tool {

constexpr int kBoardWords = 256;
using BoardWords = std::array<uint16_t, kBoardWords>;

// Word locations on a board, and within a backplane calibration block.
constexpr short kSignatureLoc = 0;
constexpr short kWriteCountLoc = 1;
constexpr short kPartNumberLoc = 3;  // 12 characters
constexpr short kGuardKeyLoc = 5;    // 4 characters of the part number
constexpr short kRevisionLoc = 9;    // 4 characters
constexpr short kNameLoc = 11;       // 32 characters
constexpr short kSerialLoc = 27;     // 32 bits
constexpr short kMnemonicLoc = 29;   // 8 characters
constexpr short kBoardDateLoc = 33;
constexpr short kDateWords = 3;              // MM/DD/YY
constexpr short kTransformerSerialLoc = 40;  // backplane, 8 characters
constexpr short kRevisionWordLoc = 50;
constexpr short kInstrumentSerialLoc = 52;  // backplane, 32 bits
constexpr short kChecksumLoc = 255;
// A board's own calibration record; a reference board adds its values.
constexpr short kCalFactorsLoc = 51;
constexpr short kCalRecordDateLoc = 52;
constexpr short kCalInitialsLoc = 55;
constexpr short kCalValidBitsLoc = 58;   // 2 words
constexpr short kCalReferencesLoc = 64;  // then every 2 words
constexpr short kReferenceValues = 6;
// The backplane's calibration blocks: the header SafeWriteCalHeader writes
// (revision, factors, date, initials), the valid-factor bits, the serials
// of the guard, mode switch, main reference and backplane boards, then ten
// gain and phase pairs.
constexpr short kFactoryBlock = 64;
constexpr short kFieldBlock = 164;
constexpr short kCalHeaderWords = 8;
constexpr short kBlockFactorsOffset = 1;
constexpr short kBlockDateOffset = 2;
constexpr short kBlockInitialsOffset = 5;
constexpr short kBlockValidBitsOffset = 8;  // 2 words
constexpr short kBlockSerialsOffset = 16;   // 4 serials of 32 bits
constexpr short kBlockGainsOffset = 24;
constexpr short kBlockPhasesOffset = 26;
constexpr short kCalPairs = 10;
constexpr short kCalPairStride = 4;

// The locations SafeWriteBoardHeader writes.
bool InBoardHeader(int loc);

struct BoardField {
  BoardField(std::string k, std::string l, nlohmann::json v, std::string s = {})
      : key(std::move(k)),
        label(std::move(l)),
        value(std::move(v)),
        shown(std::move(s)) {}

  std::string key;    // JSON name
  std::string label;  // for people
  nlohmann::json value;
  std::string shown;  // how people see the value, when not as JSON prints it
};

struct BoardSection {
  std::string key;
  std::string title;
  std::vector<BoardField> fields;
};

struct BoardDump {
  short slot = 0;
  short subslot = 0;
  std::vector<BoardSection> sections;
  BoardWords words{};
  uint16_t sum = 0;  // of all words, modulo 65536: 0 for a consistent board
};

// The image that ReadContents just filled.
BoardWords ImageWords(IQ7kEeprom* eeprom);
// Whether the board keeps its own calibration record (locations 50-59).
bool HasCalibrationRecord(IQ7kEeprom* eeprom, short slot, short subslot);
BoardDump DecodeBoard(IQ7kEeprom* eeprom, short slot, short subslot);

nlohmann::json ToJson(const BoardDump& dump);
// The sections, then a hex view with the characters the words hold.
void PrintBoardDump(const BoardDump& dump, std::FILE* out);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_BOARD_LAYOUT_H_
