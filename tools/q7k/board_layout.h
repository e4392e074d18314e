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
