#include "link/recording_format.h"

#include <gtest/gtest.h>

#include <tuple>

namespace q7k {
namespace {

std::vector<RecordingEvent> SampleEvents() {
  using K = RecordingEventKind;
  using D = RecordingDirection;
  const uint32_t v = kRecordingFormatVersion;
  const uint8_t dr = kRecordingLineFlagDtr | kRecordingLineFlagRts;
  const uint64_t late = 0x100000004ull;  // past 32 bits
  const std::vector<uint8_t> none,
      ff = {0xFF}, request = {0x10, 2, 0, 0, 1, 0, 0, 0, 1, 0x10, 3};
  // time, kind, direction, bytes, number, command, code, baud, data bits,
  // parity, stop bits, line flags, text
  return {
      {1, K::kStart, D::kNone, none, v, 0, 0, 0, 0, 0, 0, 0, "1.00.15"},
      {2, K::kOpen, D::kNone, none, 3, 0, 0, 115200, 8, 'N', 1, dr,
       "/dev/ttyUSB0"},
      {3, K::kData, D::kToInstrument, request, 0, 0, 0, 0, 0, 0, 0, 0, ""},
      {late, K::kData, D::kFromInstrument, ff, 0, 0, 0, 0, 0, 0, 0, 0, ""},
      {5, K::kTimeout, D::kNone, none, 1000, 0x7E06, 0, 0, 0, 0, 0, 0, ""},
      {6, K::kExchangeFailed, D::kNone, none, 0, 0x7E06, 133, 0, 0, 0, 0, 0,
       ""},
      {7, K::kClose, D::kNone, none, 0, 0, 0, 0, 0, 0, 0, 0, ""},
  };
}

std::vector<uint8_t> Encode(const std::vector<RecordingEvent>& events) {
  std::vector<uint8_t> file;
  AppendRecordingHeader("q7kcomm 1.00.15", "COM3", &file);
  for (const RecordingEvent& e : events) AppendRecordingEvent(e, &file);
  return file;
}

auto Fields(const RecordingEvent& e) {
  return std::tie(e.timeUs, e.kind, e.direction, e.bytes, e.number, e.command,
                  e.code, e.baud, e.dataBits, e.parity, e.stopBits, e.lineFlags,
                  e.text);
}

TEST(RecordingFormatTest, EveryKindReadsBackAsWritten) {
  const std::vector<RecordingEvent> events = SampleEvents();
  const std::vector<uint8_t> file = Encode(events);
  ASSERT_EQ(file.size() % 4, 0u);
  Recording r;
  std::string error;
  ASSERT_TRUE(ParseRecording(file.data(), file.size(), &r, &error)) << error;
  EXPECT_EQ(r.application, "q7kcomm 1.00.15");
  EXPECT_EQ(r.portName, "COM3");
  ASSERT_EQ(r.events.size(), events.size());
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(Fields(r.events[i]), Fields(events[i])) << i;
  }
}

// A recording cut short by a crash or a full disk still gives what it holds.
TEST(RecordingFormatTest, TruncatedFileKeepsWholeBlocks) {
  const std::vector<RecordingEvent> events = SampleEvents();
  const std::vector<uint8_t> file = Encode(events);
  std::vector<uint8_t> lastOff = Encode({events.begin(), events.end() - 1});
  for (size_t cut = lastOff.size(); cut < file.size(); ++cut) {
    Recording r;
    std::string error;
    ASSERT_TRUE(ParseRecording(file.data(), cut, &r, &error)) << cut;
    EXPECT_EQ(r.events.size(), events.size() - 1) << cut;
  }
}

TEST(RecordingFormatTest, MalformedFilesAreRefusedWithAReason) {
  const std::vector<uint8_t> good = Encode(SampleEvents());
  struct Case {
    const char* name;
    size_t offset;
    uint8_t value;
    const char* reason;
  };
  // Offsets into the section header, 52 bytes long.
  const Case cases[] = {
      {"big-endian magic", 8, 0x1A, "not a little-endian pcapng section"},
      {"block length not a multiple of 4", 4, 0x3D, "bad block length"},
      {"trailing length differs", 48, 0x00, "block lengths disagree"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> file = good;
    file[c.offset] = c.value;
    Recording r;
    std::string error;
    EXPECT_FALSE(ParseRecording(file.data(), file.size(), &r, &error))
        << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos)
        << c.name << ": " << error;
  }
  Recording r;
  std::string error;
  EXPECT_FALSE(ParseRecording(good.data(), 0, &r, &error));
  EXPECT_FALSE(ParseRecording(good.data() + 52, good.size() - 52, &r, &error));
  EXPECT_NE(error.find("no pcapng section header"), std::string::npos) << error;
}

}  // namespace
}  // namespace q7k
