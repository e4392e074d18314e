// q7k decode and the packet-tool dissector on recordings written with the
// format's own writer (exact lines, errors in the chosen language, frames
// split across packets, files to refuse) and on a recorded test run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "emulator.h"
#include "link/recording_format.h"
#include "support/shell_run.h"
#include "support/temp_dir.h"
#include "support/wire.h"

namespace q7k {
namespace {

constexpr uint64_t kT0 = 1700000000000000ull;  // any wall-clock start

ShellRun Shell(const std::string& command) {
  return RunShell(command + " 2>&1");
}

class Session {
 public:
  Session() { AppendRecordingHeader("q7kcomm 1.00.15", "COM3", &file_); }

  Session& Event(RecordingEventKind kind, uint64_t us, uint32_t number = 0,
                 uint16_t command = 0, int32_t code = 0) {
    RecordingEvent e;
    e.kind = kind;
    e.timeUs = kT0 + us;
    e.number = number;
    e.command = command;
    e.code = code;
    if (kind == RecordingEventKind::kStart) e.text = "1.00.15";
    if (kind == RecordingEventKind::kOpen) {
      e.baud = 115200;
      e.dataBits = 8;
      e.parity = 'N';
      e.stopBits = 1;
      e.lineFlags = kRecordingLineFlagDtr | kRecordingLineFlagRts;
      e.text = "/dev/ttyUSB0";
    }
    AppendRecordingEvent(e, &file_);
    return *this;
  }
  // Line bytes in one packet each, at us, us + 1, ...
  Session& Line(RecordingDirection d, uint64_t us,
                const std::vector<Bytes>& packets) {
    for (const Bytes& p : packets) {
      AppendRecordingData(kT0 + us++, d, p.data(), p.size(), &file_);
    }
    return *this;
  }
  Session& Out(uint64_t us, const Bytes& frame) {
    return Line(RecordingDirection::kToInstrument, us, {LineBytes(frame)});
  }
  Session& In(uint64_t us, const Bytes& frame) {
    return Line(RecordingDirection::kFromInstrument, us, {LineBytes(frame)});
  }
  std::string Write(const std::string& name) const {
    WriteFileBytes(name, std::string(file_.begin(), file_.end()));
    return name;
  }

 private:
  std::vector<uint8_t> file_;
};

ShellRun Decode(const std::string& args) {
  return Shell(std::string(Q7K_CLI_BINARY) + " decode " + args);
}

bool HaveTshark() { return access("/usr/bin/tshark", X_OK) == 0; }

// The packet tool's fields of every packet, with the installed dissector.
ShellRun Dissect(const std::string& file, const std::string& fields) {
  return Shell("/usr/bin/tshark -X lua_script:'" Q7K_SOURCE_DIR
               "/tools/wireshark/q7k.lua' -r " +
               file + " -T fields -E separator=\\; " + fields);
}

// A session with the exchanges and faults a field recording holds; the
// application's reply comes in three packets, the last of which arrives
// after the next request has begun in the other direction.
std::string WriteSession(const std::string& name) {
  using K = RecordingEventKind;
  const char app[] = "Q7I     03/14/2410:15:0001.20.02Test set";
  Bytes wire(app, app + sizeof app - 1);
  wire.resize(64, 0);
  const Bytes info = LineBytes(AckFrame(0x0001, wire));
  const Bytes readInt =
      LineBytes(RequestFrame(0x7E06, Concat({Le16(1), Le16(0), Le16(16)})));
  Bytes badSum = AckFrame(0x7E0C, Le16(0x1234));
  badSum.back() ^= 1;
  return Session()
      .Event(K::kStart, 0, kRecordingFormatVersion)
      .Event(K::kOpen, 10, 3)
      .Event(K::kPurge, 20, kRecordingPurgeReceive | kRecordingPurgeTransmit)
      .Out(1000, RequestFrame(0x0001, {}))
      .Line(RecordingDirection::kFromInstrument, 2500,
            {Bytes(info.begin(), info.begin() + 3),
             Bytes(info.begin() + 3, info.end() - 1)})
      .Line(RecordingDirection::kToInstrument, 2600,
            {Bytes(readInt.begin(), readInt.begin() + 4)})
      .Line(RecordingDirection::kFromInstrument, 2700,
            {Bytes(info.end() - 1, info.end())})
      .Line(RecordingDirection::kToInstrument, 3000,
            {Bytes(readInt.begin() + 4, readInt.end())})
      .In(4250, NakFrame(0x7E06, 3))
      .Out(5000, RequestFrame(0x7E00, Concat({Le32(0x40), Le32(0x1234)})))
      .In(5500, AckFrame(0x7E00))
      .Out(6000, RequestFrame(0x7E01, Le32(0x40)))
      .Event(K::kTimeout, 1006000, 1000, 0x7E01)
      .Event(K::kExchangeFailed, 1006001, 0, 0x7E01, 133)
      .Out(1007000, RequestFrame(0x7E0C, Concat({Le16(2), Le16(1)})))
      // The late reply to the timed-out read, then this one's, in one packet.
      .Line(RecordingDirection::kFromInstrument, 1007400,
            {Concat({LineBytes(AckFrame(0x7E01, Le32(7))), LineBytes(badSum)})})
      .Event(K::kLineError, 1007500,
             kRecordingLineErrorParity | kRecordingLineErrorBreak)
      .Event(K::kModemLines, 1007600, kRecordingModemCts | kRecordingModemDsr)
      .Event(K::kBreak, 1007700, 250)
      .Out(1007800,
           RequestFrame(0x7E0E, Concat({Le16(1), Le16(2), Le16(3), Le16(4),
                                        LeF32(0.5f), Le16(5)})))
      .Out(1007810, {'L', 'O', 'O', 'P'})
      .In(1007820, {'L', 'O', 'O', 'P', 0, 1})
      .Out(1007830, {'L', 'O', 'O', 'P'})
      .In(1007840, {'L', 'O', 'O', 'T'})
      .Event(K::kTimeout, 1007850, 5, 0)
      // The port fails half-way through a reply, and is opened again.
      .Out(1007900, RequestFrame(0x7E01, Le32(0x40)))
      .Line(RecordingDirection::kFromInstrument, 1007950,
            {Bytes(info.begin(), info.begin() + 7)})
      .Event(K::kExchangeFailed, 1007990, 0, 0x7E01, 297)
      .Event(K::kClose, 1008000, 0, 0, -197)
      .Event(K::kStart, 1008100, kRecordingFormatVersion)
      .Out(1008200, RequestFrame(0x7E01, Le32(0x40)))
      .In(1008300, AckFrame(0x7E01, Le32(7)))
      .Write(name);
}

TEST(Q7kDecodeTest, ExchangesErrorsAndPortEvents) {
  ScopedTempDir dir;
  const ShellRun r = Decode(WriteSession("session.pcapng"));
  ASSERT_EQ(r.status, 0) << r.out;
  const char expected[] =
      "     0.000 -- start component=1.00.15 format=1\n"
      "     0.010 -- open port=COM3 device=/dev/ttyUSB0 "
      "settings=\"115200 8N1\" lines=\"DTR RTS\"\n"
      "     0.020 -- purge sides=\"receive transmit\"\n"
      "     1.000 -> ReadAppInfo\n"
      "     2.700 <- ReadAppInfo ACK name=\"Q7I     \" date=03/14/24 "
      "time=10:15:00 version=01.20.02 description=\"Test set\"\n"
      "     3.000 -> ReadInt slot=1 subslot=0 location=16\n"
      "     4.250 <- ReadInt NAK error=3 code=3 text=\"Unsupported Message\"\n"
      "     5.000 -> RegWrite address=0x00000040 value=0x00001234\n"
      "     5.500 <- RegWrite ACK\n"
      "     6.000 -> RegRead address=0x00000040\n"
      "  1006.000 !! RegRead time-out code=133 "
      "text=\"No Response from Q7300, Check Connections\" waited_ms=1000\n"
      "  1006.001 !! RegRead failed code=133 "
      "text=\"No Response from Q7300, Check Connections\"\n"
      "  1007.000 -> CalculateChecksum slot=2 subslot=1\n"
      "  1007.400 !! CalculateChecksum bad reply code=137 "
      "text=\"Invalid Message Number\" "
      "check=\"Message Number Error[33279,33268]\" "
      "frame=\"00 00 FF 81 05 00 06 07 00 00 00 92 01\"\n"
      "  1007.400 !! CalculateChecksum bad reply code=138 "
      "text=\"Invalid Message Checksum\" "
      "check=\"Message Checksum Error[196,452](l=11)\" "
      "frame=\"00 00 F4 81 03 00 06 34 12 C4 00\"\n"
      "  1007.500 !! line error errors=\"parity break\"\n"
      "  1007.600 -- modem lines on=\"CTS DSR\"\n"
      "  1007.700 -- break ms=250\n"
      "  1007.800 -> SendTestWaveform type=1 index=2 phase=3 samples=4 "
      "amplitude=0.5 next=5\n"
      "  1007.810 -> Loopback text=LOOP\n"
      "  1007.820 <- Loopback text=LOOP\n"
      "  1007.830 -> Loopback text=LOOP\n"
      "  1007.840 !! Loopback bad reply code=141 "
      "text=\"Loopback Message mismatch\" frame=\"4C 4F 4F 54\"\n"
      "  1007.850 !! Loopback time-out code=142 "
      "text=\"Loopback Message not received\" waited_ms=5\n"
      "  1007.900 -> RegRead address=0x00000040\n"
      "  1007.990 !! RegRead failed code=297 text=\"Windows OS Error\"\n"
      "  1008.000 -- close status=-197\n"
      "  1008.100 -- start component=1.00.15 format=1\n"
      "  1008.200 -> RegRead address=0x00000040\n"
      "  1008.300 <- RegRead ACK value=0x00000007\n";
  EXPECT_EQ(r.out, expected);
}

TEST(Q7kDecodeTest, ResultsAsJson) {
  ScopedTempDir dir;
  Bytes results(146, 0);
  results[10 + 3] = 0x41;  // KVoltMeas 8.0
  results[90] = 16;        // SamplesAveraged
  Session()
      .Out(0, RequestFrame(0x0006, Concat({Le16(2), Le16(16)})))
      .In(100, AckFrame(0x0006, results))
      .Write("results.pcapng");
  const ShellRun r = Decode("--json results.pcapng");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto events = nlohmann::json::parse(r.out)["events"];
  ASSERT_EQ(events.size(), 2u) << r.out;
  EXPECT_EQ(events[0]["fields"]["SamplesToAvg"], "16");
  EXPECT_EQ(events[1]["direction"], "<-");
  EXPECT_EQ(events[1]["verdict"], "ACK");
  EXPECT_EQ(events[1]["time_ms"], 0.1);
  EXPECT_EQ(events[1]["fields"]["KVoltMeas"], "8");
  EXPECT_EQ(events[1]["fields"]["SamplesAveraged"], "16");
}

// Instrument errors in the language asked for, and files to refuse.
TEST(Q7kDecodeTest, LanguagesAndFilesItCannotRead) {
  ScopedTempDir dir;
  WriteSession("session.pcapng");
  WriteFileBytes("text.pcapng", "not a recording");
  WriteFileBytes("short.pcapng", "\n");
  Session().Event(RecordingEventKind::kStart, 0, 2).Write("future.pcapng");
  Session().Write("header.pcapng");
  const struct {
    const char* args;
    int status;
    const char* text;
  } cases[] = {{"session.pcapng --language es", 0,
                "NAK error=3 code=3 text=\"Mensaje No Soportado\""},
               {"session.pcapng --language fr", 0,
                "NAK error=3 code=3 text=\"Message non supporté\""},
               {"missing.pcapng", 2, "q7k: cannot open missing.pcapng\n"},
               {"text.pcapng", 2, "text.pcapng: "},
               {"short.pcapng", 2, "short.pcapng: holds no recording"},
               {"header.pcapng", 2, "header.pcapng: holds no recording"},
               {"future.pcapng", 2, "format version 2 is not known"}};
  for (const auto& c : cases) {
    const ShellRun r = Decode(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
  }
}

TEST(Q7kDecodeTest, PacketToolShowsCommandsAndFields) {
  if (!HaveTshark()) GTEST_SKIP() << "no tshark";
  ScopedTempDir dir;
  const std::string file = WriteSession("session.pcapng");
  const ShellRun r =
      Dissect(file,
              "-e q7k.name -e q7k.app.version -e q7k.eeprom.location"
              " -e q7k.error -e q7k.checksum.valid -e q7kevent.kind"
              " -e q7kevent.baud");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string rows[] = {
      ";;;;;1;115200",                       // open
      "ReadAppInfo;01.20.02;;;1;;",          // reassembled from three packets
      "ReadInt;;16;;1;;",                    // its request, completed later
      "ReadInt;;;3;1;;",                     // NAK
      "RegRead,CalculateChecksum;;;;1,0;;",  // two frames, a bad checksum
      ";;;;;7;"};                            // time-out event
  for (const std::string& row : rows) {
    EXPECT_NE(r.out.find("\n" + row + "\n"), std::string::npos) << row << "\n"
                                                                << r.out;
  }
  // The loopback texts sent and echoed, the last one wrong.
  EXPECT_NE(Dissect(file, "-e q7k.text").out.find("\nLOOP\nLOOP\nLOOP\nLOOT\n"),
            std::string::npos);
}

TEST(Q7kDecodeTest, RecordedTestRunOnTheVirtualInstrument) {
  ScopedTempDir dir;
  Emulator emulator{EmulatorOptions{}};
  const std::string device = emulator.Start();
  ASSERT_TRUE(emulator.running()) << emulator.error();
  ASSERT_EQ(Shell(std::string(Q7K_CLI_BINARY) +
                  " --record run.pcapng test run --extended --circuit ust-r"
                  " --interval 0 --kv 2 --device " +
                  device)
                .status,
            0);
  const ShellRun r = Decode("run.pcapng");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find(" !! "), std::string::npos) << r.out;
  // In this order: settings, start, ranging, settling, valid, stop, close.
  size_t at = 0;
  for (const char* step :
       {"-- open port=COM1 device=", "<- ReadAppInfo ACK name=\"Q7I     \"",
        "-> UpdateRuntimeParams ", " TestVoltage=2000 ", "<- StartQ7kTest ACK",
        "<- RequestExtendedResults ACK Ranging=1 ", " VoltageSettling=1 ",
        "<- RequestExtendedResults ACK Ranging=0 VoltageSettling=0 ",
        "<- StopQ7kTest ACK", "-- close"}) {
    at = r.out.find(step, at);
    ASSERT_NE(at, std::string::npos) << step << "\n" << r.out;
  }
  if (HaveTshark()) {
    const ShellRun tool = Dissect("run.pcapng", "-e q7k.name -e q7k.ack");
    EXPECT_NE(tool.out.find("\nStopQ7kTest;0x06\n"), std::string::npos)
        << tool.out;
  }
}

}  // namespace
}  // namespace q7k
