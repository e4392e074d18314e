#include "eeprom/board_writes.h"

#include "eeprom/board_reads.h"
#include "link/command_codes.h"
#include "link/le_bytes.h"

namespace q7k {

bool WriteBoardWord(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, int16_t value) {
  auto w = BoardAddress(slot, subslot, location);
  w.U16(static_cast<uint16_t>(value));
  return channel.Exchange(cmd::kWriteInt, w.data(), w.size());
}

bool WriteBoardLong(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, uint32_t value) {
  auto w = BoardAddress(slot, subslot, location);
  w.U32(value);
  return channel.Exchange(cmd::kWriteLong, w.data(), w.size());
}

bool WriteBoard32(const CommandChannel& channel, int16_t slot, int16_t subslot,
                  int16_t location, const int16_t* words) {
  auto w = BoardAddress(slot, subslot, location);
  for (int i = 0; i < kBlockWords; ++i) w.U16(static_cast<uint16_t>(words[i]));
  return channel.Exchange(cmd::kWrite32, w.data(), w.size());
}

bool WriteBoardFloat16(const CommandChannel& channel, int16_t slot,
                       int16_t subslot, int16_t location, const float* floats) {
  auto w = BoardAddress(slot, subslot, location);
  for (int i = 0; i < kBlockFloats; ++i) w.F32(floats[i]);
  return channel.Exchange(cmd::kWriteFloat16, w.data(), w.size());
}

}  // namespace q7k
