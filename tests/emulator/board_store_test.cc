// Board EEPROMs over the line: reads, writes, the instrument's checksum,
// refused addresses, a faulty board and persistence across restarts.
#include "board_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "emulator/emulator_session.h"
#include "support/temp_dir.h"

namespace q7k {
namespace testing_emu {
namespace {

// Slot, subslot, then an optional location and further words.
Bytes Addr(std::initializer_list<int> words, const Bytes& more = {}) {
  Bytes b;
  for (int w : words) Put16(&b, static_cast<uint16_t>(w));
  b.insert(b.end(), more.begin(), more.end());
  return b;
}

Bytes Word(uint16_t v) { return Addr({v}); }

uint16_t ReadInt(HostLine* host, int slot, int subslot, int location) {
  Frame f = host->Transact(0x7E06, Addr({slot, subslot, location}));
  EXPECT_EQ(f.payload.size(), 3u);
  return f.payload.size() == 3 ? Get16(f.payload, 1) : 0;
}

uint16_t Checksum(HostLine* host, int slot, int subslot) {
  Frame f = host->Transact(0x7E0C, Addr({slot, subslot}));
  return f.Ack() && f.payload.size() == 3 ? Get16(f.payload, 1) : 0xFFFF;
}

TEST(EmulatorBoards, WritesShowInReadsAndInTheChecksum) {
  EmulatorSession s;
  HostLine* h = &s.host;
  EXPECT_EQ(Checksum(h, 8, 2), 0);  // any subslot reaches the board
  EXPECT_EQ(ReadInt(h, 6, 0, 5), ('9' << 8) | '2');  // two characters a word
  const uint16_t old = ReadInt(h, 0, 0, 40);
  ASSERT_EQ(Checksum(h, 0, 0), 0);
  ASSERT_TRUE(h->Transact(0x7E04, Addr({0, 0, 40}, Word(0x0042))).Ack());
  EXPECT_EQ(ReadInt(h, 0, 0, 40), 0x0042);
  const uint16_t sum = Checksum(h, 0, 0);
  EXPECT_EQ(sum, static_cast<uint16_t>(0x0042 - old));
  // Correcting the checksum word makes the board consistent again.
  const uint16_t k = ReadInt(h, 0, 0, 255);
  ASSERT_TRUE(h->Transact(0x7E04, Addr({0, 0, 255}, Word(k - sum))).Ack());
  EXPECT_EQ(Checksum(h, 0, 0), 0);

  // Blocks: EepromBoardTest writes and reads them.
  ASSERT_TRUE(h->Transact(0x7E08, Addr({2, 0, 10}, Le32(0x12345678))).Ack());
  EXPECT_EQ(ReadInt(h, 2, 0, 10), 0x5678);  // low word first
  EXPECT_EQ(Get32(h->Transact(0x7E0A, Addr({2, 0, 10})).payload, 1),
            0x12345678u);
}

TEST(EmulatorBoards, AddressesOutsideTheInventoryAreRefused) {
  EmulatorSession s;
  HostLine* h = &s.host;
  EXPECT_EQ(h->Transact(0x7E06, Addr({3, 0, 0})).payload,
            (Bytes{0x15, 13, 0, 1, 0}));
  EXPECT_EQ(h->Transact(0x7E06, Addr({0, 4, 0})).payload,
            (Bytes{0x15, 13, 0, 2, 0}));
  const Bytes badLocation = {0x15, 13, 0, 3, 0};
  EXPECT_EQ(h->Transact(0x7E06, Addr({0, 0, 256})).payload, badLocation);
  EXPECT_EQ(h->Transact(0x7E06, Addr({0, 0, -1})).payload, badLocation);
  // A 32-word block must end inside the image.
  EXPECT_EQ(h->Transact(0x7E07, Addr({0, 0, 225})).payload, badLocation);
  EXPECT_TRUE(h->Transact(0x7E07, Addr({0, 0, 224})).Ack());
}

TEST(EmulatorBoards, FaultyBoardStoresADifferentValue) {
  EmulatorOptions options;
  options.boardFaults.push_back({7, 0, 0x8000});
  EmulatorSession s(options);
  HostLine* h = &s.host;
  ASSERT_TRUE(h->Transact(0x7E04, Addr({7, 0, 40}, Word(0x0100))).Ack());
  EXPECT_EQ(ReadInt(h, 7, 0, 40), 0x8100);
  s.emulator.SetBoardWriteFault(7, 0, 0);
  ASSERT_TRUE(h->Transact(0x7E04, Addr({7, 0, 40}, Word(0x0100))).Ack());
  EXPECT_EQ(ReadInt(h, 7, 0, 40), 0x0100);
}

TEST(EmulatorBoards, BoardsPersistAcrossRestarts) {
  ScopedTempDir dir;
  EmulatorOptions options;
  options.boardDir = dir.path();
  {
    EmulatorSession s(options);
    ASSERT_TRUE(s.host.Transact(0x7E04, Addr({0, 3, 64}, Word(0xBEEF))).Ack());
  }
  EXPECT_EQ(std::filesystem::file_size(dir.File("board-0-3.bin")), 512u);
  {
    EmulatorSession s(options);
    EXPECT_EQ(ReadInt(&s.host, 0, 3, 64), 0xBEEF);
    EXPECT_EQ(Checksum(&s.host, 0, 2), 0);
  }
  // A directory that cannot be made stops the start with a reason.
  options.boardDir = dir.File("board-0-3.bin/sub");
  Emulator bad(options);
  EXPECT_EQ(bad.Start(), "");
  EXPECT_NE(bad.error().find("board directory"), std::string::npos);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
