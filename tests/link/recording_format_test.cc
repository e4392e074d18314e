#include "link/recording_format.h"

#include <gtest/gtest.h>

namespace q7k {
namespace {

RecordingEvent Event(RecordingEventKind kind, uint64_t t) {
  RecordingEvent e;
  e.kind = kind;
  e.timeUs = t;
  return e;
}

std::vector<RecordingEvent> SampleEvents() {
  std::vector<RecordingEvent> events;
  RecordingEvent start = Event(RecordingEventKind::kStart, 1);
  start.number = kRecordingFormatVersion;
  start.text = "1.00.15";
  events.push_back(start);
  RecordingEvent open = Event(RecordingEventKind::kOpen, 2);
  open.number = 3;
  open.baud = 115200;
  open.dataBits = 8;
  open.parity = 'N';
  open.stopBits = 1;
  open.lineFlags = kRecordingLineFlagDtr | kRecordingLineFlagRts;
  open.text = "/dev/ttyUSB0";
  events.push_back(open);
  RecordingEvent out = Event(RecordingEventKind::kData, 3);
  out.direction = RecordingDirection::kToInstrument;
  out.bytes = {0x10, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x10, 0x03};
  events.push_back(out);
  RecordingEvent in = Event(RecordingEventKind::kData, 0x100000004ull);
  in.direction = RecordingDirection::kFromInstrument;
  in.bytes = {0xFF};
  events.push_back(in);
  RecordingEvent timeout = Event(RecordingEventKind::kTimeout, 5);
  timeout.command = 0x7E06;
  timeout.number = 1000;
  events.push_back(timeout);
  RecordingEvent failed = Event(RecordingEventKind::kExchangeFailed, 6);
  failed.command = 0x7E06;
  failed.code = 133;
  events.push_back(failed);
  events.push_back(Event(RecordingEventKind::kClose, 7));
  return events;
}

std::vector<uint8_t> Encode(const std::vector<RecordingEvent>& events) {
  std::vector<uint8_t> file;
  AppendRecordingHeader("q7kcomm 1.00.15", "COM3", &file);
  for (const RecordingEvent& e : events) AppendRecordingEvent(e, &file);
  return file;
}

void ExpectSame(const RecordingEvent& a, const RecordingEvent& b) {
  EXPECT_EQ(a.timeUs, b.timeUs);
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.direction, b.direction);
  EXPECT_EQ(a.bytes, b.bytes);
  EXPECT_EQ(a.number, b.number);
  EXPECT_EQ(a.command, b.command);
  EXPECT_EQ(a.code, b.code);
  EXPECT_EQ(a.baud, b.baud);
  EXPECT_EQ(a.dataBits, b.dataBits);
  EXPECT_EQ(a.parity, b.parity);
  EXPECT_EQ(a.stopBits, b.stopBits);
  EXPECT_EQ(a.lineFlags, b.lineFlags);
  EXPECT_EQ(a.text, b.text);
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
  for (size_t i = 0; i < events.size(); ++i) ExpectSame(r.events[i], events[i]);
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
    EXPECT_FALSE(ParseRecording(file.data(), file.size(), &r, &error)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
  }
  Recording r;
  std::string error;
  EXPECT_FALSE(ParseRecording(good.data(), 0, &r, &error));
  EXPECT_FALSE(ParseRecording(good.data() + 52, good.size() - 52, &r, &error));
  EXPECT_NE(error.find("no pcapng section header"), std::string::npos) << error;
}

}  // namespace
}  // namespace q7k
