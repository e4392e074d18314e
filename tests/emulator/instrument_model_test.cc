// Protocol behaviour of the virtual instrument as a whole: exact reply
// bytes, the refusals and their order, frames it drops.
#include "instrument_model.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

TEST(EmulatorModel, PowerOnSequenceAckBytesExact) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  s.host->SendRaw(
      {0x10, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x03});
  EXPECT_EQ(s.host->ReadLine(), (Bytes{0x10, 0x02, 0x00, 0x00, 0xFE, 0xFF, 0x01,
                                       0x00, 0x06, 0x04, 0x02, 0x10, 0x03}));
  EXPECT_EQ(s.emulator.WithModel(
                [](emu::InstrumentModel& m) { return m.power_on_count(); }),
            1);
}

TEST(EmulatorModel, UnknownCommandsAreRefusedWithNak3) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  s.host->Send(0x0017);
  EXPECT_EQ(s.host->ReadLine(),
            (Bytes{0x10, 0x02, 0x00, 0x00, 0xE9, 0xFF, 0x03, 0x00, 0x15, 0x03,
                   0x00, 0x03, 0x02, 0x10, 0x03}));
  for (uint16_t command : {0x7E1B, 0x0100, 0x7F15}) {
    Frame f = s.host->Transact(command);
    EXPECT_EQ(f.NakNumber(), 3) << command;
    EXPECT_EQ(f.number, static_cast<uint16_t>(0x10000 - command));
    EXPECT_TRUE(f.checksumOk);
  }
}

TEST(EmulatorModel, WrongLengthsAreRefusedWithNak2) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  // Command 3 takes 32 bytes.
  EXPECT_EQ(s.host->Transact(0x0003, Bytes(10, 0)).NakNumber(), 2);
  // A download block shorter than its own header.
  EXPECT_EQ(s.host->Transact(0x000B, Bytes(4, 0)).NakNumber(), 2);
  // A length field that disagrees with the frame: says 5, carries none.
  Bytes frame = {0x00, 0x00, 0x01, 0x00, 0x05, 0x00, 0x06, 0x00};
  s.host->SendRaw(Encode(frame));
  Frame f = Parse(Decode(s.host->ReadLine()));
  EXPECT_EQ(f.NakNumber(), 2);
  EXPECT_EQ(f.number, 0xFFFF);
}

TEST(EmulatorModel, CorruptFramesAreDroppedUnanswered) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Bytes bad = RequestFrame(0x0002, {});
  bad.back() ^= 0x01;
  s.host->SendRaw(Encode(bad));
  s.host->SendRaw(Encode({0x01, 0x02}));  // too short to be a frame
  // The first reply on the line answers the request after them.
  Frame f = s.host->Transact(0x0001);
  EXPECT_EQ(f.number, 0xFFFF);
  EXPECT_TRUE(f.Ack());
  EXPECT_EQ(s.emulator.dropped_frames(), 2u);
  EXPECT_EQ(s.emulator.WithModel(
                [](emu::InstrumentModel& m) { return m.power_on_count(); }),
            0);
}

TEST(EmulatorModel, WatchdogReportAnswersTheFirstCommandOnly) {
  EmulatorOptions options;
  options.model.watchdogText = "WDT reset @ 0x00C4F2";
  EmulatorSession s(options);
  ASSERT_TRUE(s.ok());
  Frame first = s.host->Transact(0x0001);
  EXPECT_EQ(first.number, 0xFFFF);
  EXPECT_EQ(first.NakNumber(), 12);
  const std::string text(first.payload.begin() + 3, first.payload.end());
  EXPECT_EQ(text, "WDT reset @ 0x00C4F2");
  EXPECT_TRUE(s.host->Transact(0x0002).Ack());
}

TEST(EmulatorModel, BootLoaderAnswersOnlyApplicationCommands) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  EXPECT_TRUE(s.host->Transact(0x0008).Ack());
  Frame info = s.host->Transact(0x0001);
  EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
            "POSTLOAD");
  EXPECT_EQ(s.host->Transact(0x0012).NakNumber(), 3);
  EXPECT_EQ(s.host->Transact(0x7E06, Bytes(6, 0)).NakNumber(), 3);
  Bytes first;
  Put16(&first, 1);
  EXPECT_TRUE(s.host->Transact(0x000F, first).Ack());
}

TEST(EmulatorModel, RunningTestRefusesReconfigurationWithNak4) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.host->Transact(0x0005).Ack());
  EXPECT_EQ(s.host->Transact(0x0003, Bytes(32, 0)).NakNumber(), 4);
  EXPECT_EQ(s.host->Transact(0x0005).NakNumber(), 4);
  EXPECT_EQ(s.host->Transact(0x0008).NakNumber(), 4);
  EXPECT_EQ(s.host->Transact(0x7E04, Bytes(8, 0)).NakNumber(), 4);
  // Runtime parameters and reads go on during a test.
  EXPECT_TRUE(s.host->Transact(0x0004, Bytes(22, 0)).Ack());
  EXPECT_TRUE(s.host->Transact(0x7E06, Bytes(6, 0)).Ack());
  EXPECT_TRUE(s.host->Transact(0x0007).Ack());
  EXPECT_TRUE(s.host->Transact(0x0003, Bytes(32, 0)).Ack());
}

TEST(EmulatorModel, CommandsHostsNeverSendAreAcknowledged) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  for (uint16_t command : {0x0000, 0x0009, 0x7E15, 0x7E18}) {
    Frame f = s.host->Transact(command);
    EXPECT_TRUE(f.Ack()) << command;
    EXPECT_EQ(f.length, 1) << command;
  }
}

TEST(EmulatorModel, RequestsSentBackToBackAreEachAnswered) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Bytes two = Encode(RequestFrame(0x0002, {}));
  Bytes second = Encode(RequestFrame(0x0001, {}));
  two.insert(two.end(), second.begin(), second.end());
  s.host->SendRaw(two);
  EXPECT_EQ(Parse(Decode(s.host->ReadLine())).number, 0xFFFE);
  EXPECT_EQ(Parse(Decode(s.host->ReadLine())).number, 0xFFFF);
}

TEST(EmulatorModel, DleBytesSurviveBothDirections) {
  EmulatorSession s;
  ASSERT_TRUE(s.ok());
  Bytes write;
  Put32(&write, 0x10);
  Put32(&write, 0x10101010);
  ASSERT_TRUE(s.host->Transact(0x7E00, write).Ack());
  Bytes read;
  Put32(&read, 0x10);
  s.host->Send(0x7E01, read);
  Bytes line = s.host->ReadLine();
  Frame f = Parse(Decode(line));
  ASSERT_TRUE(f.Ack());
  EXPECT_EQ(Get32(f.payload, 1), 0x10101010u);
  EXPECT_TRUE(f.checksumOk);
  // Four data DLEs, each sent twice, around the frame's own DLE STX/ETX.
  EXPECT_EQ(line.size(), 4 + f.size + 4);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
