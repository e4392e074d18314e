// Board EEPROMs over the line: reads, writes, the instrument's checksum,
// refused addresses, a faulty board and persistence across restarts.
#include "board_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

Bytes Board(int16_t slot, int16_t subslot) {
  Bytes b;
  Put16(&b, static_cast<uint16_t>(slot));
  Put16(&b, static_cast<uint16_t>(subslot));
  return b;
}

Bytes Addr(int16_t slot, int16_t subslot, int16_t location) {
  Bytes b = Board(slot, subslot);
  Put16(&b, static_cast<uint16_t>(location));
  return b;
}

Bytes With(Bytes b, const Bytes& more) {
  b.insert(b.end(), more.begin(), more.end());
  return b;
}

Bytes Word(uint16_t v) {
  Bytes b;
  Put16(&b, v);
  return b;
}

uint16_t ReadInt(HostLine* host, int16_t slot, int16_t subslot, int16_t loc) {
  Frame f = host->Transact(0x7E06, Addr(slot, subslot, loc));
  EXPECT_TRUE(f.Ack());
  EXPECT_EQ(f.payload.size(), 3u);
  return f.payload.size() == 3 ? Get16(f.payload, 1) : 0;
}

uint16_t Checksum(HostLine* host, int16_t slot, int16_t subslot) {
  Frame f = host->Transact(0x7E0C, Board(slot, subslot));
  EXPECT_TRUE(f.Ack());
  return f.payload.size() == 3 ? Get16(f.payload, 1) : 0xFFFF;
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/q7k-emu-boards-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(EmulatorBoards, FactoryBoardsAreConsistent) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  const int16_t boards[][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 5},
                               {2, 0}, {4, 0}, {6, 9}, {7, 0}, {8, 2}};
  for (const auto& b : boards) {
    EXPECT_EQ(Checksum(s.host.get(), b[0], b[1]), 0) << b[0] << "," << b[1];
    EXPECT_EQ(ReadInt(s.host.get(), b[0], b[1], 0), 0x5A0F);
  }
  // The board key of the guard board, two characters a word.
  EXPECT_EQ(ReadInt(s.host.get(), 6, 0, 5), ('9' << 8) | '2');
  EXPECT_EQ(ReadInt(s.host.get(), 6, 0, 6), ('3' << 8) | '3');
}

TEST(EmulatorBoards, WritesShowInReadsAndInTheChecksum) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  HostLine* h = s.host.get();
  const uint16_t old = ReadInt(h, 0, 0, 40);
  EXPECT_EQ(old, ('-' << 8) | 'T');
  ASSERT_TRUE(h->Transact(0x7E04, With(Addr(0, 0, 40), Word(0x0042))).Ack());
  EXPECT_EQ(ReadInt(h, 0, 0, 40), 0x0042);
  const uint16_t sum = Checksum(h, 0, 0);
  EXPECT_EQ(sum, static_cast<uint16_t>(0x0042 - old));
  // Correcting the checksum word makes the board consistent again.
  const uint16_t k = ReadInt(h, 0, 0, 255);
  ASSERT_TRUE(h->Transact(0x7E04, With(Addr(0, 0, 255),
                                       Word(static_cast<uint16_t>(k - sum))))
                  .Ack());
  EXPECT_EQ(Checksum(h, 0, 0), 0);
}

TEST(EmulatorBoards, BlockAndLongTransfersCoverTheirLocations) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  HostLine* h = s.host.get();
  Bytes words;
  for (int i = 0; i < 32; ++i) Put16(&words, static_cast<uint16_t>(i * 3 + 1));
  ASSERT_TRUE(h->Transact(0x7E05, With(Addr(2, 0, 100), words)).Ack());
  Frame r32 = h->Transact(0x7E07, Addr(2, 0, 100));
  EXPECT_EQ(Bytes(r32.payload.begin() + 1, r32.payload.end()), words);
  Frame r16 = h->Transact(0x7E0B, Addr(2, 0, 100));
  EXPECT_EQ(Bytes(r16.payload.begin() + 1, r16.payload.end()), words);
  EXPECT_EQ(ReadInt(h, 2, 0, 131), 94);

  Bytes floats;
  for (int i = 0; i < 16; ++i) PutF(&floats, 0.5f * i);
  ASSERT_TRUE(h->Transact(0x7E09, With(Addr(2, 0, 200), floats)).Ack());
  EXPECT_EQ(GetF(h->Transact(0x7E0A, Addr(2, 0, 202)).payload, 1), 0.5f);

  Bytes value;
  Put32(&value, 0x12345678);
  ASSERT_TRUE(h->Transact(0x7E08, With(Addr(2, 0, 10), value)).Ack());
  EXPECT_EQ(ReadInt(h, 2, 0, 10), 0x5678);
  EXPECT_EQ(ReadInt(h, 2, 0, 11), 0x1234);
  EXPECT_EQ(Get32(h->Transact(0x7E0A, Addr(2, 0, 10)).payload, 1), 0x12345678u);
}

TEST(EmulatorBoards, AddressesOutsideTheInventoryAreRefused) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  HostLine* h = s.host.get();
  const Bytes param1 = {0x15, 13, 0, 1, 0};
  const Bytes param2 = {0x15, 13, 0, 2, 0};
  const Bytes param3 = {0x15, 13, 0, 3, 0};
  EXPECT_EQ(h->Transact(0x7E06, Addr(3, 0, 0)).payload, param1);
  EXPECT_EQ(h->Transact(0x7E06, Addr(9, 0, 0)).payload, param1);
  EXPECT_EQ(h->Transact(0x7E06, Addr(0, 4, 0)).payload, param2);
  EXPECT_EQ(h->Transact(0x7E0C, Board(5, 0)).payload, param1);
  EXPECT_EQ(h->Transact(0x7E06, Addr(0, 0, 256)).payload, param3);
  EXPECT_EQ(h->Transact(0x7E06, Addr(0, 0, -1)).payload, param3);
  EXPECT_EQ(h->Transact(0x7E0A, Addr(0, 0, 255)).payload, param3);
  EXPECT_EQ(h->Transact(0x7E07, Addr(0, 0, 225)).payload, param3);
  EXPECT_TRUE(h->Transact(0x7E07, Addr(0, 0, 224)).Ack());
}

TEST(EmulatorBoards, FaultyBoardStoresADifferentValue) {
  EmulatorOptions options;
  options.boardFaults.push_back({7, 0, 0x8000});
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  HostLine* h = s.host.get();
  ASSERT_TRUE(h->Transact(0x7E04, With(Addr(7, 0, 40), Word(0x0100))).Ack());
  EXPECT_EQ(ReadInt(h, 7, 0, 40), 0x8100);
  s.emulator.SetBoardWriteFault(6, 0, 1);
  ASSERT_TRUE(h->Transact(0x7E04, With(Addr(6, 0, 40), Word(0x0100))).Ack());
  EXPECT_EQ(ReadInt(h, 6, 0, 40), 0x0101);
  s.emulator.SetBoardWriteFault(6, 0, 0);
  ASSERT_TRUE(h->Transact(0x7E04, With(Addr(6, 0, 40), Word(0x0100))).Ack());
  EXPECT_EQ(ReadInt(h, 6, 0, 40), 0x0100);
}

TEST(EmulatorBoards, BoardsPersistAcrossRestarts) {
  TempDir dir;
  EmulatorOptions options;
  options.boardDir = dir.path();
  {
    EmulatorSession s(options);
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(
        s.host->Transact(0x7E04, With(Addr(0, 3, 64), Word(0xBEEF))).Ack());
  }
  EXPECT_EQ(std::filesystem::file_size(dir.path() + "/board-0-3.bin"), 512u);
  EXPECT_EQ(std::filesystem::file_size(dir.path() + "/board-8-0.bin"), 512u);
  {
    EmulatorSession s(options);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(ReadInt(s.host.get(), 0, 3, 64), 0xBEEF);
    EXPECT_EQ(ReadInt(s.host.get(), 0, 2, 0), 0x5A0F);
  }
  // A directory that cannot be made stops the start with a reason.
  options.boardDir = dir.path() + "/board-0-3.bin/sub";
  Emulator bad(options);
  EXPECT_EQ(bad.Start(), "");
  EXPECT_NE(bad.error().find("board directory"), std::string::npos);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
