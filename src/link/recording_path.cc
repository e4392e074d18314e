#include "link/recording_path.h"

#include <mutex>
#include <set>
#include <vector>

#include "link/recording_file.h"
#include "q7kcomm/host.h"

namespace q7k {
namespace {

struct PathState {
  std::mutex mutex;
  std::optional<std::string> hook;  // set once the host called the hook
  // By RecordingNameKey.
  std::set<std::string> open;  // held by a recording now
  std::set<std::string> used;  // opened by this process before
};

PathState& State() {
  static PathState state;
  return state;
}

// suffix before the extension of the name's last part (a leading dot
// starts no extension).
std::string WithSuffix(const std::string& path, const std::string& suffix) {
  size_t start = path.size();
  while (start > 0 && !IsRecordingNameSeparator(path[start - 1])) --start;
  const size_t dot = path.rfind('.');
  const bool extension = dot != std::string::npos && dot > start &&
                         path.compare(start, std::string::npos, "..") != 0;
  const size_t at = extension ? dot : path.size();
  return path.substr(0, at) + suffix + path.substr(at);
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
  return RecordingPathFromEnvironment();
}

RecordingFileClaim ClaimRecordingFile(const std::string& path,
                                      std::optional<int> comNumber) {
  // Claimed by absolute name: a relative one means another file once the
  // current directory changes.
  const std::string base = AbsoluteRecordingName(path);
  std::vector<std::string> names{base};
  if (comNumber)
    names.push_back(WithSuffix(base, "-COM" + std::to_string(*comNumber)));
  for (int i = 2; i <= 9; ++i)
    names.push_back(WithSuffix(base, "-" + std::to_string(i)));
  PathState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (const std::string& name : names) {
    const std::string key = RecordingNameKey(name);
    if (s.open.count(key) != 0) continue;
    s.open.insert(key);
    return {name, s.used.insert(key).second};
  }
  return {};
}

void ReleaseRecordingFile(const std::string& claimed) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().open.erase(RecordingNameKey(claimed));
}

}  // namespace q7k
