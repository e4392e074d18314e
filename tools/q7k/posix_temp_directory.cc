#include "temp_directory.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace q7k::tool {

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
