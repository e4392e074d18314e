#include "link/recording_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace q7k {
namespace {

std::string Absolute(const char* name) {
  return std::filesystem::absolute(name).string();
}

// Two recordings open at once never share a file; a file this process
// wrote before is appended to, not started afresh.
TEST(RecordingPathTest, OneWriterPerFile) {
  ScopedTempDir dir;
  const struct {
    const char* path;
    std::optional<int> com;
    const char* release;  // before claiming
    const char* claimed;
    bool firstUse;
  } steps[] = {
      {"s.pcapng", 3, nullptr, "s.pcapng", true},
      {"s.pcapng", 4, nullptr, "s-COM4.pcapng", true},
      {"s.pcapng", std::nullopt, nullptr, "s-2.pcapng", true},
      {"s.pcapng", 5, "s.pcapng", "s.pcapng", false},
      {"./x/../s.pcapng", 8, nullptr, "s-COM8.pcapng", true},
      // The same file where case does not count.
      {"S.PCAPNG", 6, nullptr,
       FileNamesIgnoreCase() ? "S-COM6.PCAPNG" : "S.PCAPNG", true},
      {"noext", 7, nullptr, "noext", true},
      {"noext", 7, nullptr, "noext-COM7", true},
  };
  for (const auto& s : steps) {
    if (s.release) ReleaseRecordingFile(Absolute(s.release));
    const RecordingFileClaim c = ClaimRecordingFile(s.path, s.com);
    EXPECT_EQ(c.claimed, Absolute(s.claimed)) << s.path;
    EXPECT_EQ(c.firstUse, s.firstUse) << s.path;
  }
}

}  // namespace
}  // namespace q7k
