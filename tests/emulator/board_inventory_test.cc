#include "board_inventory.h"

#include <gtest/gtest.h>

namespace q7k {
namespace emu {
namespace {

TEST(EmulatorInventory, TextStopsAtTheImageEnd) {
  EepromWords w{};
  w[13] = 0xAAAA;
  PutText(&w, 11, "ABCDEFG", 4);
  EXPECT_EQ(w[11], 0x4241);
  EXPECT_EQ(w[12], 0x4443);
  EXPECT_EQ(w[13], 0xAAAA);
  PutText(&w, 255, "XYZ", 3);
  EXPECT_EQ(w[255], 0x5958);
  SealChecksum(&w);
  EXPECT_EQ(WordSum(w), 0);
}

}  // namespace
}  // namespace emu
}  // namespace q7k
