#include <cstdlib>
#include <filesystem>

#include "link/recording_file.h"

namespace q7k {

std::string RecordingPathFromEnvironment() {
  const char* value = std::getenv("Q7K_RECORD");
  return value != nullptr ? value : "";
}

std::string AbsoluteRecordingName(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  // "./s.pcapng" and "s.pcapng" are one file, and must be one claim.
  return ec ? path : full.lexically_normal().string();
}

std::string RecordingNameKey(const std::string& absoluteName) {
  return absoluteName;
}

bool IsRecordingNameSeparator(char c) { return c == '/'; }

std::FILE* OpenRecordingFile(const std::string& name, const char* mode) {
  return std::fopen(name.c_str(), mode);
}

}  // namespace q7k
