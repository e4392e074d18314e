// Arbitrary bytes as a session recording: the reader must refuse or read
// them without crashing, and what it reads must survive writing it again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/recording_format.h"

namespace q7k {
namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool Same(const RecordingEvent& a, const RecordingEvent& b) {
  return a.timeUs == b.timeUs && a.kind == b.kind &&
         a.direction == b.direction && a.bytes == b.bytes &&
         (a.kind == RecordingEventKind::kData ||
          (a.number == b.number && a.command == b.command && a.code == b.code &&
           a.baud == b.baud && a.dataBits == b.dataBits &&
           a.parity == b.parity && a.stopBits == b.stopBits &&
           a.lineFlags == b.lineFlags && a.text == b.text));
}

void FuzzOneInput(const uint8_t* data, size_t size) {
  Recording read;
  std::string error;
  if (!ParseRecording(data, size, &read, &error)) {
    Check(!error.empty());
    return;
  }
  std::vector<uint8_t> again;
  AppendRecordingHeader(read.application, read.portName, &again);
  for (const RecordingEvent& e : read.events) AppendRecordingEvent(e, &again);
  Recording reread;
  Check(ParseRecording(again.data(), again.size(), &reread, &error));
  Check(reread.events.size() == read.events.size());
  for (size_t i = 0; i < read.events.size(); ++i) {
    Check(Same(read.events[i], reread.events[i]));
  }
  // Cut short, as by a crash: the events before the cut, none invented.
  Recording cut;
  Check(ParseRecording(again.data(), again.size() / 2 + 1, &cut, &error));
  Check(cut.events.size() <= read.events.size());
  for (size_t i = 0; i < cut.events.size(); ++i) {
    Check(Same(cut.events[i], read.events[i]));
  }
}

}  // namespace
}  // namespace q7k

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  q7k::FuzzOneInput(data, size);
  return 0;
}
