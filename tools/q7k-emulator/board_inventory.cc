#include "board_inventory.h"

#include <algorithm>

#include "simulator/simulated_boards.h"

namespace q7k {
namespace emu {

uint16_t WordSum(const EepromWords& words) {
  uint16_t sum = 0;
  for (uint16_t v : words) sum = static_cast<uint16_t>(sum + v);
  return sum;
}

void SealChecksum(EepromWords* words) {
  (*words)[kEepromWords - 1] = 0;
  (*words)[kEepromWords - 1] = static_cast<uint16_t>(0x10000 - WordSum(*words));
}

void PutText(EepromWords* words, int location, const std::string& text,
             int count) {
  for (int i = 0; i < count; ++i) {
    const int byte = 2 * location + i;
    if (byte >= 2 * kEepromWords) return;
    const uint8_t c =
        i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[i]) : 0;
    uint16_t& w = (*words)[byte / 2];
    w = (byte % 2 == 0) ? static_cast<uint16_t>((w & 0xFF00) | c)
                        : static_cast<uint16_t>((w & 0x00FF) | (c << 8));
  }
}

std::string GetText(const EepromWords& words, int location, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    const int byte = 2 * location + i;
    if (byte >= 2 * kEepromWords) break;
    const uint16_t w = words[byte / 2];
    s.push_back(static_cast<char>(byte % 2 == 0 ? (w & 0xFF) : (w >> 8)));
  }
  return s;
}

std::vector<BoardImage> InitialBoards() {
  // The same ten boards the component simulates: one inventory, one
  // encoding of it.
  constexpr int16_t kAddresses[][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0},
                                       {2, 0}, {4, 0}, {6, 0}, {7, 0}, {8, 0}};
  std::vector<BoardImage> boards;
  for (const auto& address : kAddresses) {
    BoardImage b;
    b.slot = address[0];
    b.subslot = address[1];
    EepromImage image;
    FillSimulatedBoard(b.slot, b.subslot, &image);
    std::copy(image.words().begin(), image.words().end(), b.words.begin());
    boards.push_back(b);
  }
  return boards;
}

}  // namespace emu
}  // namespace q7k
