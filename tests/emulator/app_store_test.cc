// Applications and flash over the line: download and programming, search,
// paged directory, execute and delete.
#include "app_store.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

constexpr uint32_t kFirstAddress = 0x1000;
const Bytes kBadEntry = {0x15, 13, 0, 1, 0};

// Fields of 8 bytes each, NUL padded.
Bytes Fields(std::initializer_list<std::string> fields) {
  Bytes b;
  for (const std::string& s : fields) {
    b.insert(b.end(), s.begin(), s.end());
    b.resize(b.size() + 8 - s.size(), 0);
  }
  return b;
}

Bytes Announce(const std::string& name, int32_t words) {
  Bytes b = Fields({name, "02.01.00"});
  Put32(&b, static_cast<uint32_t>(words));
  return b;
}

Bytes Block(uint32_t address, const Bytes& data) {
  Bytes b;
  Put32(&b, address);
  Put16(&b, static_cast<uint16_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

const Bytes kMyApp = Fields({"MYAPP   ", "07/04/03", "12:00:00", "02.01.00"});

// The entry number the instrument finds for an identity, 0 for none.
uint16_t Search(HostLine* host, const Bytes& identity) {
  return Get16(host->Transact(0x000E, identity).payload, 1);
}

// Sends 192 words of code and the 16-word identity record at the header
// address: 208 words in 4 blocks. Returns the reply to the programming.
Frame Download(HostLine* host, int32_t announced) {
  EXPECT_TRUE(host->Transact(0x000A, Announce("MYAPP", announced)).Ack());
  for (uint32_t k = 0; k < 3; ++k) {
    Bytes code(256, static_cast<uint8_t>(0x10 + k));  // DLEs on the wire
    EXPECT_TRUE(
        host->Transact(0x000B, Block(kFirstAddress + 64 * k, code)).Ack());
  }
  Bytes header = kMyApp;
  header.resize(64, 0xEE);
  EXPECT_TRUE(host->Transact(0x000B, Block(kFirstAddress + 192, header)).Ack());
  return host->Transact(0x000C);
}

TEST(EmulatorFlash, DownloadedApplicationIsFoundListedAndExecuted) {
  EmulatorSession s;
  Frame info = s.host.Transact(0x0001);
  ASSERT_EQ(info.payload.size(), 65u);
  EXPECT_EQ(Bytes(info.payload.begin() + 1, info.payload.begin() + 33),
            Fields({"Q7I     ", "03/12/02", "14:05:33", "01.20.02"}));
  EXPECT_EQ(std::string(info.payload.begin() + 33, info.payload.end()),
            "Q7300 Instrument Measurement App");

  ASSERT_TRUE(s.host.Transact(0x0008).Ack());
  EXPECT_TRUE(Download(&s.host, 208).Ack());
  EXPECT_EQ(Search(&s.host, kMyApp), 2);
  // Trailing blanks and NULs do not matter to the search; the stamp does.
  EXPECT_EQ(
      Search(&s.host, Fields({"MYAPP", "07/04/03", "12:00:00", "02.01.00"})),
      2);
  EXPECT_EQ(
      Search(&s.host, Fields({"MYAPP", "07/04/03", "12:00:01", "02.01.00"})),
      0);

  // The directory page layout is FirmwareSetupTest's (read by the library).
  ASSERT_TRUE(s.host.Transact(0x0010, {2, 0}).Ack());
  info = s.host.Transact(0x0001);
  EXPECT_EQ(Bytes(info.payload.begin() + 1, info.payload.begin() + 33), kMyApp);
}

TEST(EmulatorFlash, DownloadsOutOfSequenceOrSizeAreRefused) {
  EmulatorSession s;
  HostLine* h = &s.host;
  EXPECT_EQ(h->Transact(0x000B, Block(kFirstAddress, Bytes(4, 0))).NakNumber(),
            9);
  EXPECT_EQ(h->Transact(0x000C).NakNumber(), 9);
  EXPECT_EQ(Download(h, 300).NakNumber(), 9);  // less arrived than announced
  // A block past the announced end.
  ASSERT_TRUE(h->Transact(0x000A, Announce("X", 16)).Ack());
  EXPECT_TRUE(h->Transact(0x000B, Block(kFirstAddress, Bytes(4, 0))).Ack());
  EXPECT_EQ(
      h->Transact(0x000B, Block(kFirstAddress + 16, Bytes(8, 0))).NakNumber(),
      9);
  // An image without the identity record cannot be programmed.
  ASSERT_TRUE(h->Transact(0x000A, Announce("X", 64)).Ack());
  ASSERT_TRUE(h->Transact(0x000B, Block(kFirstAddress, Bytes(256, 1))).Ack());
  EXPECT_EQ(h->Transact(0x000C).NakNumber(), 7);
  EXPECT_EQ(h->Transact(0x000A, Announce("X", 0)).payload,
            (Bytes{0x15, 13, 0, 3, 0}));
}

TEST(EmulatorFlash, DirectoryPagesEntryChecksAndAFullFlash) {
  EmulatorOptions options;
  options.model.flash.capacity = 2;
  options.model.flash.pageSize = 1;
  EmulatorSession s(options);
  HostLine* h = &s.host;
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    return m.apps().AddEntry(
        {emu::AppIdentity::Make("OLD", "", "", "", ""), 1});
  });
  Frame page = h->Transact(0x000F, {1, 0});
  EXPECT_EQ(Get16(page.payload, 1), 1);
  EXPECT_EQ(Get16(page.payload, 3), 1);  // more follow
  page = h->Transact(0x000F, {2, 0});
  EXPECT_EQ(Get16(page.payload, 3), 0);
  EXPECT_EQ(std::string(page.payload.begin() + 5, page.payload.begin() + 8),
            "OLD");
  EXPECT_EQ(h->Transact(0x000F, {0, 0}).payload, kBadEntry);
  EXPECT_EQ(h->Transact(0x0010, {3, 0}).payload, kBadEntry);
  // The running application's entry cannot go while it runs.
  EXPECT_EQ(h->Transact(0x0011, {1, 0}).NakNumber(), 13);

  EXPECT_EQ(h->Transact(0x000A, Announce("MYAPP", 208)).NakNumber(), 5);
  // Entry 0 deletes the oldest entry that is not running.
  ASSERT_TRUE(h->Transact(0x0011, {0, 0}).Ack());
  EXPECT_TRUE(Download(h, 208).Ack());
  EXPECT_EQ(Search(h, kMyApp), 2);
  EXPECT_TRUE(h->Transact(0x0011, {2, 0}).Ack());
  EXPECT_EQ(h->Transact(0x0011, {2, 0}).NakNumber(), 13);
  // In the boot loader nothing runs from flash.
  ASSERT_TRUE(h->Transact(0x0008).Ack());
  EXPECT_TRUE(h->Transact(0x0011, {1, 0}).Ack());
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
