// Reading back a session recording beside the virtual instrument's trace:
// the bytes the instrument took in, and the recording's line bytes in one
// direction, to compare whole.
#ifndef Q7K_TESTS_SUPPORT_RECORDING_CHECK_H_
#define Q7K_TESTS_SUPPORT_RECORDING_CHECK_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "link/recording_format.h"
#include "support/temp_dir.h"

namespace q7k {

inline Recording LoadOrFail(const std::string& path) {
  Recording r;
  std::string error;
  EXPECT_TRUE(LoadRecording(path, &r, &error)) << path << ": " << error;
  return r;
}

inline std::vector<uint8_t> LineBytes(const Recording& r,
                                      RecordingDirection direction) {
  std::vector<uint8_t> bytes;
  for (const RecordingEvent& e : r.events) {
    if (e.kind == RecordingEventKind::kData && e.direction == direction) {
      bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
    }
  }
  return bytes;
}

// The "rx" (side "rx") or "tx" bytes of every exchange in an emulator
// trace ("+S.mmm rx HH .. tx HH .. [faults]"; notes have "#").
inline std::vector<uint8_t> TraceBytes(const std::string& path,
                                       const std::string& side) {
  std::vector<uint8_t> bytes;
  std::istringstream lines(ReadFileBytes(path));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    bool in = false;
    while (words >> word) {
      if (word == "rx" || word == "tx") {
        in = word == side;
      } else if (in && word.size() == 2 && word != "-") {
        bytes.push_back(static_cast<uint8_t>(std::stoi(word, nullptr, 16)));
      } else if (word[0] == '[' || word == "#") {
        break;
      }
    }
  }
  return bytes;
}

// The kinds of the events that are not line bytes, in file order.
inline std::vector<RecordingEventKind> EventKinds(const Recording& r) {
  std::vector<RecordingEventKind> kinds;
  for (const RecordingEvent& e : r.events) {
    if (e.kind != RecordingEventKind::kData) kinds.push_back(e.kind);
  }
  return kinds;
}

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_RECORDING_CHECK_H_
