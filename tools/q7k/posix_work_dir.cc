#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "work_dir.h"

namespace q7k::tool {

PathParts SplitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  return ec ? path : full.string();
}

std::string AbsoluteDevicePath(const std::string& device) {
  if (device.find("://") != std::string::npos) return device;
  return AbsolutePath(device);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

CurrentDirectory::CurrentDirectory(const std::string& dir) {
  previous_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (previous_ < 0 || chdir(dir.c_str()) != 0) {
    error_ = dir + ": " + std::strerror(errno);
    return;
  }
  ok_ = true;
}

CurrentDirectory::~CurrentDirectory() {
  if (previous_ < 0) return;
  // Nothing sensible is left to do when the way back has gone.
  if (ok_ && fchdir(previous_) != 0) std::perror("q7k: fchdir");
  close(previous_);
}

}  // namespace q7k::tool
