#include "link/recording_path.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <vector>

#include "q7kcomm/host.h"

namespace q7k {
namespace {

struct PathState {
  std::mutex mutex;
  std::optional<std::string> hook;  // set once the host called the hook
  std::set<std::string> open;       // held by a recording now
  std::set<std::string> used;       // opened by this process before
};

PathState& State() {
  static PathState state;
  return state;
}

std::string WithSuffix(const std::string& path, const std::string& suffix) {
  const std::filesystem::path p(path);
  std::filesystem::path named = p.parent_path();
  named /= p.stem().string() + suffix + p.extension().string();
  return named.string();
}

}  // namespace

void SetRecordingPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().hook = path;
}

std::string RecordingPathSetting() {
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().hook) return *State().hook;
  }
  const char* fromEnvironment = std::getenv("Q7K_RECORD");
  return fromEnvironment != nullptr ? fromEnvironment : "";
}

RecordingFileClaim ClaimRecordingFile(const std::string& path,
                                      std::optional<int> comNumber) {
  // Claimed by absolute name: a relative one means another file once the
  // current directory changes.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  const std::string base = ec ? path : full.string();
  std::vector<std::string> names{base};
  if (comNumber)
    names.push_back(WithSuffix(base, "-COM" + std::to_string(*comNumber)));
  for (int i = 2; i <= 9; ++i)
    names.push_back(WithSuffix(base, "-" + std::to_string(i)));
  PathState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (const std::string& name : names) {
    if (s.open.count(name) != 0) continue;
    s.open.insert(name);
    return {name, s.used.insert(name).second};
  }
  return {};
}

void ReleaseRecordingFile(const std::string& claimed) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().open.erase(claimed);
}

}  // namespace q7k
