#include "work_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace q7k::tool {

PathParts SplitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
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

TempDirectory::TempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base && *base ? base : "/tmp") + "/q7k-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) != nullptr) path_ = name.data();
}

TempDirectory::~TempDirectory() {
  if (path_.empty() || keep_) return;
  // Only plain files are ever written here.
  if (DIR* d = opendir(path_.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") unlink((path_ + "/" + name).c_str());
    }
    closedir(d);
  }
  rmdir(path_.c_str());
}

}  // namespace q7k::tool
