// The current directory as the component sees it: it reads image files by
// name from there and writes its trace log there, so commands that take a
// path run inside the file's directory.
#ifndef Q7K_TOOLS_Q7K_WORK_DIR_H_
#define Q7K_TOOLS_Q7K_WORK_DIR_H_

#include <string>

namespace q7k::tool {

// A file path cut into the directory (never empty) and the name.
struct PathParts {
  std::string dir;
  std::string name;
};
PathParts SplitPath(const std::string& path);

// path against the current directory; path itself when it is empty or the
// current directory cannot be had.
std::string AbsolutePath(const std::string& path);

// Whether path names an existing directory.
bool IsDirectory(const std::string& path);

// A serial device named from the current directory, made absolute so that it
// still opens once a command has moved elsewhere; network ports and Windows
// device names stay as they are.
std::string AbsoluteDevicePath(const std::string& device);

// Changes the current directory for its lifetime and back afterwards.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& dir);
  ~CurrentDirectory();
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

  // False when the change failed (error() says why); nothing changed then.
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

 private:
  // The directory to return to: a descriptor on POSIX, a path on Windows.
  int previous_ = -1;
  std::wstring previousPath_;
  bool ok_ = false;
  std::string error_;
};

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_WORK_DIR_H_
