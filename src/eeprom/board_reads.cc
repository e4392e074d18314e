#include "eeprom/board_reads.h"

#include "link/command_codes.h"

namespace q7k {

PayloadWriter BoardAddress(int16_t slot, int16_t subslot, int16_t location) {
  PayloadWriter w;
  w.U16(static_cast<uint16_t>(slot))
      .U16(static_cast<uint16_t>(subslot))
      .U16(static_cast<uint16_t>(location));
  return w;
}

bool ReadBoardWord(const CommandChannel& channel, int16_t slot, int16_t subslot,
                   int16_t location, int16_t* out) {
  *out = 0;
  const auto w = BoardAddress(slot, subslot, location);
  return channel.Exchange(cmd::kReadInt, w.data(), w.size(), 2,
                          [out](const uint8_t* p, size_t) {
                            *out = LoadI16(p);
                            return true;
                          });
}

bool ReadBoardFloat(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, float* out) {
  *out = 0.0f;
  const auto w = BoardAddress(slot, subslot, location);
  return channel.Exchange(cmd::kReadLong, w.data(), w.size(), 4,
                          [out](const uint8_t* p, size_t) {
                            *out = LoadF32(p);
                            return true;
                          });
}

int16_t SimulatedBoardWord(int16_t slot, int16_t subslot, int16_t location) {
  if (slot != 0 || subslot != 0) return 0;
  switch (location) {
    case 164:
      return 1021;
    case 172:
      return static_cast<int16_t>(0xFFFF);
    case 173:
      return 0x3FFF;
    default:
      return 0;
  }
}

}  // namespace q7k
