#include "eeprom/board_identity.h"

#include <cstring>

#include "eeprom/board_reads.h"

namespace q7k {

bool ReadBoardChars(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t first, int count, int step,
                    char* out) {
  for (int k = 0; k < count; ++k) {
    int16_t word = 0;
    const auto at = static_cast<int16_t>(first + k);
    if (!ReadBoardWord(channel, slot, subslot, at, &word)) return false;
    out[step * k] = static_cast<char>(word & 0xFF);
    out[step * k + 1] = static_cast<char>((word >> 8) & 0xFF);
  }
  return true;
}

int16_t DecimalOfChars(uint16_t word) {
  const char text[] = {static_cast<char>(word & 0xFF),
                       static_cast<char>(word >> 8), 0};
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  int value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = 10 * value + (*p - '0');
  return static_cast<int16_t>(negative ? -value : value);
}

bool KeysMatch(const std::string& key,
               const char (&boardKey)[kBoardKeyChars + 1]) {
  return std::strncmp(key.c_str(), boardKey, kBoardKeyChars) == 0;
}

}  // namespace q7k
