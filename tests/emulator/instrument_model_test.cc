// Protocol behaviour of the virtual instrument as a whole: exact reply
// bytes, the refusals and their order, frames it drops.
#include "instrument_model.h"

#include <gtest/gtest.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

TEST(EmulatorModel, PowerOnAckAndUnknownCommandNak3BytesExact) {
  EmulatorSession s;
  // The power-on exchange's exact bytes are in the line trace test.
  EXPECT_TRUE(s.host.Transact(0x0002).Ack());
  s.host.Send(0x0017);
  EXPECT_EQ(s.host.ReadLine(),
            (Bytes{0x10, 0x02, 0x00, 0x00, 0xE9, 0xFF, 0x03, 0x00, 0x15, 0x03,
                   0x00, 0x03, 0x02, 0x10, 0x03}));
  EXPECT_EQ(s.host.Transact(0x7E1B).NakNumber(), 3);
  EXPECT_EQ(s.emulator.WithModel(
                [](emu::InstrumentModel& m) { return m.power_on_count(); }),
            1);
}

TEST(EmulatorModel, WrongLengthsAreRefusedWithNak2) {
  EmulatorSession s;
  // Command 3 takes 32 bytes.
  EXPECT_EQ(s.host.Transact(0x0003, Bytes(10, 0)).NakNumber(), 2);
  // A length field that disagrees with the frame: says 5, carries none.
  s.host.SendRaw(Encode({0x00, 0x00, 0x01, 0x00, 0x05, 0x00, 0x06, 0x00}));
  Frame f = Parse(Decode(s.host.ReadLine()));
  EXPECT_EQ(f.NakNumber(), 2);
  EXPECT_EQ(f.number, 0xFFFF);
}

TEST(EmulatorModel, CorruptFramesAreDroppedAndQueuedRequestsAnswered) {
  EmulatorSession s;
  Bytes bad = RequestFrame(0x0002, {});
  bad.back() ^= 0x01;
  Bytes line = Encode(bad);
  const Bytes tooShort = Encode({0x01, 0x02});
  line.insert(line.end(), tooShort.begin(), tooShort.end());
  for (uint16_t command : {0x0001, 0x0007}) {
    const Bytes next = Encode(RequestFrame(command, {}));
    line.insert(line.end(), next.begin(), next.end());
  }
  s.host.SendRaw(line);
  // The replies on the line answer the requests after them, in order.
  EXPECT_EQ(Parse(Decode(s.host.ReadLine())).number, 0xFFFF);
  EXPECT_EQ(Parse(Decode(s.host.ReadLine())).number, 0xFFF9);
  EXPECT_EQ(s.emulator.dropped_frames(), 2u);
}

TEST(EmulatorModel, WatchdogReportAnswersTheFirstCommandOnly) {
  EmulatorOptions options;
  options.model.watchdogText = "WDT reset @ 0x00C4F2";
  EmulatorSession s(options);
  Frame first = s.host.Transact(0x0001);
  EXPECT_EQ(first.NakNumber(), 12);
  EXPECT_EQ(std::string(first.payload.begin() + 3, first.payload.end()),
            "WDT reset @ 0x00C4F2");
  EXPECT_TRUE(s.host.Transact(0x0002).Ack());
}

TEST(EmulatorModel, BootLoaderAnswersOnlyApplicationCommands) {
  EmulatorSession s;
  EXPECT_TRUE(s.host.Transact(0x0008).Ack());
  Frame info = s.host.Transact(0x0001);
  EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
            "POSTLOAD");
  EXPECT_EQ(s.host.Transact(0x0012).NakNumber(), 3);
  EXPECT_EQ(s.host.Transact(0x7E06, Bytes(6, 0)).NakNumber(), 3);
  EXPECT_TRUE(s.host.Transact(0x000F, {1, 0}).Ack());
}

TEST(EmulatorModel, RunningTestRefusesReconfigurationWithNak4) {
  EmulatorSession s;
  ASSERT_TRUE(s.host.Transact(0x0005).Ack());
  EXPECT_EQ(s.host.Transact(0x0003, Bytes(32, 0)).NakNumber(), 4);
  EXPECT_EQ(s.host.Transact(0x0008).NakNumber(), 4);
  EXPECT_EQ(s.host.Transact(0x7E04, Bytes(8, 0)).NakNumber(), 4);
  // Runtime parameters and reads go on during a test.
  EXPECT_TRUE(s.host.Transact(0x0004, Bytes(22, 0)).Ack());
  EXPECT_TRUE(s.host.Transact(0x7E06, Bytes(6, 0)).Ack());
  EXPECT_TRUE(s.host.Transact(0x0007).Ack());
  EXPECT_TRUE(s.host.Transact(0x0003, Bytes(32, 0)).Ack());
}

TEST(EmulatorModel, DleBytesSurviveBothDirections) {
  EmulatorSession s;
  Bytes write;
  Put32(&write, 0x10);
  Put32(&write, 0x10101010);
  ASSERT_TRUE(s.host.Transact(0x7E00, write).Ack());
  s.host.Send(0x7E01, Bytes(write.begin(), write.begin() + 4));
  const Bytes line = s.host.ReadLine();
  Frame f = Parse(Decode(line));
  EXPECT_TRUE(f.checksumOk);
  EXPECT_EQ(Get32(f.payload, 1), 0x10101010u);
  // Four data DLEs, each sent twice, around the frame's own DLE STX/ETX.
  EXPECT_EQ(line.size(), 4 + f.size + 4);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
