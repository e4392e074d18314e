#include "board_inventory.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cstring>

namespace q7k {
namespace emu {
namespace {

const EepromWords* FindBoard(const std::vector<BoardImage>& boards,
                             int16_t slot, int16_t subslot) {
  for (const BoardImage& b : boards) {
    if (b.slot == slot && b.subslot == subslot) return &b.words;
  }
  return nullptr;
}

uint32_t Long(const EepromWords& w, int at) {
  return w[at] | (static_cast<uint32_t>(w[at + 1]) << 16);
}

int Bits(const EepromWords& w, int at, int count) {
  int n = 0;
  for (int i = 0; i < count; ++i) n += std::bitset<16>(w[at + i]).count();
  return n;
}

TEST(EmulatorInventory, TenConsistentBoardsWithTheirIdentity) {
  const std::vector<BoardImage> boards = InitialBoards();
  ASSERT_EQ(boards.size(), 10u);
  for (const BoardImage& b : boards) {
    EXPECT_EQ(WordSum(b.words), 0) << b.slot << "," << b.subslot;
    EXPECT_EQ(b.words[0], 0x5A0F);
    EXPECT_EQ(b.words[2], 1);
  }
  const EepromWords& bp = *FindBoard(boards, 0, 0);
  EXPECT_EQ(GetText(bp, 11, 16), std::string("Q7300 Backplane\0", 16));
  EXPECT_EQ(GetText(bp, 3, 12), std::string("71K-2913-01\0", 12));
  EXPECT_EQ(GetText(bp, 40, 8), "T-765432");
  EXPECT_EQ(GetText(bp, 33, 6), "012497");
  EXPECT_EQ(Long(bp, 52), 129400373u);
  EXPECT_EQ(Long(bp, 27), 9945u);
  EXPECT_EQ(bp[1], 9001);
  EXPECT_EQ(bp[234], 1);
  EXPECT_EQ(GetText(*FindBoard(boards, 8, 0), 29, 8),
            std::string("HLVP\0\0\0\0", 8));
  EXPECT_EQ(GetText(*FindBoard(boards, 6, 0), 9, 4), std::string("G\0\0\0", 4));
}

TEST(EmulatorInventory, CalibrationRecordsMatchTheirValidBits) {
  const std::vector<BoardImage> boards = InitialBoards();
  const EepromWords& bp = *FindBoard(boards, 0, 0);
  for (int base : {64, 164}) {
    EXPECT_EQ(Bits(bp, base + 8, 2), bp[base + 1]) << base;
    EXPECT_EQ(Long(bp, base + 16), 4687u);
    EXPECT_EQ(Long(bp, base + 22), 9945u);
    float gain;
    uint32_t bits = Long(bp, base + 24 + 4 * 9);
    std::memcpy(&gain, &bits, 4);
    EXPECT_EQ(gain, 1.0f);
  }
  EXPECT_EQ(bp[64], 1000);
  EXPECT_EQ(bp[164], 1031);
  for (auto [slot, subslot] :
       {std::pair<int16_t, int16_t>{0, 2}, {0, 3}, {6, 0}}) {
    const EepromWords& w = *FindBoard(boards, slot, subslot);
    EXPECT_EQ(Bits(w, 58, 2), w[51]) << slot << "," << subslot;
  }
  EXPECT_EQ(GetText(*FindBoard(boards, 0, 3), 52, 6), "120794");
}

TEST(EmulatorInventory, TextHelpersPackTwoCharactersAWord) {
  EepromWords w{};
  w[13] = 0xAAAA;
  PutText(&w, 11, "ABCDEFG", 4);
  EXPECT_EQ(w[11], 0x4241);
  EXPECT_EQ(w[12], 0x4443);
  EXPECT_EQ(w[13], 0xAAAA);
  PutText(&w, 255, "XYZ", 3);  // stops at the image's end
  EXPECT_EQ(w[255], 0x5958);
  w[100] = 7;
  SealChecksum(&w);
  EXPECT_EQ(WordSum(w), 0);
}

}  // namespace
}  // namespace emu
}  // namespace q7k
