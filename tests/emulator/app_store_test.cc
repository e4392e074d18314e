// Applications and flash: boot loader, download and programming, search,
// paged directory, execute and delete, each over the line.
#include "app_store.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

constexpr uint32_t kFirstAddress = 0x1000;

Bytes Text(const std::string& s, size_t width) {
  Bytes b(s.begin(), s.end());
  b.resize(width, 0);
  return b;
}

Bytes Identity(const std::string& name, const std::string& date,
               const std::string& time, const std::string& version) {
  Bytes b = Text(name, 8);
  for (const std::string* s : {&date, &time, &version}) {
    Bytes t = Text(*s, 8);
    b.insert(b.end(), t.begin(), t.end());
  }
  return b;
}

Bytes Announce(const std::string& name, const std::string& version,
               int32_t words) {
  Bytes b = Text(name, 8);
  Bytes v = Text(version, 8);
  b.insert(b.end(), v.begin(), v.end());
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

Bytes Word16(int16_t v) {
  Bytes b;
  Put16(&b, static_cast<uint16_t>(v));
  return b;
}

// Sends an image of 192 words of code and a 16-word identity record at
// the header address: 208 words in 4 blocks. Returns the last reply.
Frame Download(HostLine* host, const Bytes& identity, int32_t announced) {
  EXPECT_TRUE(
      host->Transact(0x000A, Announce("MYAPP", "02.01.00", announced)).Ack());
  for (uint32_t k = 0; k < 3; ++k) {
    Bytes code(256, static_cast<uint8_t>(0x10 + k));  // DLEs on the wire
    EXPECT_TRUE(
        host->Transact(0x000B, Block(kFirstAddress + 64 * k, code)).Ack());
  }
  Bytes header = identity;
  header.resize(64, 0xEE);
  EXPECT_TRUE(host->Transact(0x000B, Block(kFirstAddress + 192, header)).Ack());
  return host->Transact(0x000C);
}

const Bytes kMyApp = Identity("MYAPP   ", "07/04/03", "12:00:00", "02.01.00");

TEST(EmulatorFlash, RunningApplicationIsTheFirmwareByDefault) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Frame f = s.host->Transact(0x0001);
  ASSERT_TRUE(f.Ack());
  ASSERT_EQ(f.payload.size(), 65u);
  EXPECT_EQ(Bytes(f.payload.begin() + 1, f.payload.begin() + 33),
            Identity("Q7I     ", "03/12/02", "14:05:33", "01.20.02"));
  EXPECT_EQ(std::string(f.payload.begin() + 33, f.payload.end()),
            "Q7300 Instrument Measurement App");
}

TEST(EmulatorFlash, DownloadProgramsAnEntryWithTheHeaderIdentity) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.host->Transact(0x0008).Ack());
  EXPECT_TRUE(Download(s.host.get(), kMyApp, 208).Ack());

  Frame search = s.host->Transact(0x000E, kMyApp);
  ASSERT_TRUE(search.Ack());
  EXPECT_EQ(Get16(search.payload, 1), 2);
  // Trailing blanks and NULs do not matter to the search; the stamp does.
  Bytes blankPadded = Identity("MYAPP", "07/04/03", "12:00:00", "02.01.00");
  EXPECT_EQ(Get16(s.host->Transact(0x000E, blankPadded).payload, 1), 2);
  Bytes otherTime = Identity("MYAPP", "07/04/03", "12:00:01", "02.01.00");
  EXPECT_EQ(Get16(s.host->Transact(0x000E, otherTime).payload, 1), 0);

  Frame page = s.host->Transact(0x000F, Word16(1));
  ASSERT_TRUE(page.Ack());
  EXPECT_EQ(Get16(page.payload, 1), 2);  // entries
  EXPECT_EQ(Get16(page.payload, 3), 0);  // none follow
  ASSERT_EQ(page.payload.size(), 5u + 2 * 64);
  EXPECT_EQ(Bytes(page.payload.begin() + 69, page.payload.begin() + 101),
            kMyApp);
  EXPECT_EQ(Bytes(page.payload.begin() + 101, page.payload.end()),
            Bytes(32, 0));

  ASSERT_TRUE(s.host->Transact(0x0010, Word16(2)).Ack());
  Frame info = s.host->Transact(0x0001);
  EXPECT_EQ(Bytes(info.payload.begin() + 1, info.payload.begin() + 33), kMyApp);
  EXPECT_FALSE(s.emulator.WithModel(
      [](emu::InstrumentModel& m) { return m.apps().in_boot_loader(); }));
}

TEST(EmulatorFlash, DownloadsOutOfSequenceOrSizeAreRefused) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(
      s.host->Transact(0x000B, Block(kFirstAddress, Bytes(4, 0))).NakNumber(),
      9);
  EXPECT_EQ(s.host->Transact(0x000C).NakNumber(), 9);
  // Announced longer than what arrives.
  EXPECT_EQ(Download(s.host.get(), kMyApp, 300).NakNumber(), 9);
  // A block past the announced end.
  ASSERT_TRUE(s.host->Transact(0x000A, Announce("X", "1", 16)).Ack());
  EXPECT_TRUE(
      s.host->Transact(0x000B, Block(kFirstAddress, Bytes(4, 0))).Ack());
  EXPECT_EQ(s.host->Transact(0x000B, Block(kFirstAddress + 16, Bytes(8, 0)))
                .NakNumber(),
            9);
  // An image without the identity record cannot be programmed.
  ASSERT_TRUE(s.host->Transact(0x000A, Announce("X", "1", 64)).Ack());
  ASSERT_TRUE(
      s.host->Transact(0x000B, Block(kFirstAddress, Bytes(256, 1))).Ack());
  EXPECT_EQ(s.host->Transact(0x000C).NakNumber(), 7);
  // A count that disagrees with the block's length.
  Bytes lying = Block(kFirstAddress, Bytes(8, 0));
  lying[4] = 9;
  EXPECT_EQ(s.host->Transact(0x000B, lying).NakNumber(), 2);
  EXPECT_EQ(s.host->Transact(0x000A, Announce("X", "1", 0)).payload,
            (Bytes{0x15, 13, 0, 3, 0}));
  EXPECT_EQ(s.emulator.WithModel([](emu::InstrumentModel& m) {
    return m.apps().directory().size();
  }),
            1u);
}

TEST(EmulatorFlash, FullFlashIsRefusedWithNak5UntilEntryZeroMakesRoom) {
  EmulatorOptions options;
  options.model.flash.capacity = 2;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    return m.apps().AddEntry(
        {emu::AppIdentity::Make("OLD", "01/01/99", "00:00:00", "00.01.00", ""),
         100});
  });
  EXPECT_EQ(
      s.host->Transact(0x000A, Announce("MYAPP", "02.01.00", 208)).NakNumber(),
      5);
  // The running firmware is entry 1 and stays; entry 0 takes the oldest
  // other one.
  ASSERT_TRUE(s.host->Transact(0x0011, Word16(0)).Ack());
  EXPECT_TRUE(Download(s.host.get(), kMyApp, 208).Ack());
  auto names = s.emulator.WithModel([](emu::InstrumentModel& m) {
    std::vector<std::string> n;
    for (const auto& e : m.apps().directory()) {
      n.push_back(emu::TrimField(e.identity.name));
    }
    return n;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Q7I", "MYAPP"}));
}

TEST(EmulatorFlash, DirectoryComesInPagesOfTheConfiguredSize) {
  EmulatorOptions options;
  options.model.flash.pageSize = 1;
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    m.apps().AddEntry({emu::AppIdentity::Make("A2", "", "", "", ""), 1});
    return m.apps().AddEntry({emu::AppIdentity::Make("A3", "", "", "", ""), 1});
  });
  struct Expect {
    int16_t first, count, more;
  };
  for (Expect e : {Expect{1, 1, 1}, Expect{3, 1, 0}, Expect{4, 0, 0}}) {
    Frame page = s.host->Transact(0x000F, Word16(e.first));
    ASSERT_TRUE(page.Ack());
    EXPECT_EQ(Get16(page.payload, 1), e.count) << e.first;
    EXPECT_EQ(Get16(page.payload, 3), e.more) << e.first;
    EXPECT_EQ(page.payload.size(), 5u + 64 * e.count);
  }
  Frame third = s.host->Transact(0x000F, Word16(3));
  EXPECT_EQ(std::string(third.payload.begin() + 5, third.payload.begin() + 7),
            "A3");
  EXPECT_EQ(s.host->Transact(0x000F, Word16(0)).payload,
            (Bytes{0x15, 13, 0, 1, 0}));
}

TEST(EmulatorFlash, ExecuteAndDeleteCheckTheEntryNumber) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    return m.apps().AddEntry(
        {emu::AppIdentity::Make("DIAG", "", "", "", ""), 1});
  });
  for (int16_t bad : {0, 3, -1}) {
    EXPECT_EQ(s.host->Transact(0x0010, Word16(bad)).payload,
              (Bytes{0x15, 13, 0, 1, 0}))
        << bad;
  }
  // The running application's entry cannot go while it runs.
  EXPECT_EQ(s.host->Transact(0x0011, Word16(1)).NakNumber(), 13);
  EXPECT_TRUE(s.host->Transact(0x0011, Word16(2)).Ack());
  EXPECT_EQ(s.host->Transact(0x0011, Word16(2)).NakNumber(), 13);
  // In the boot loader nothing runs from flash.
  ASSERT_TRUE(s.host->Transact(0x0008).Ack());
  EXPECT_TRUE(s.host->Transact(0x0011, Word16(1)).Ack());
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
