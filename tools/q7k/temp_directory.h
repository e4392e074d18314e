// A scratch directory for the virtual instrument that demo --emulator
// starts (POSIX builds only, as that instrument is).
#ifndef Q7K_TOOLS_Q7K_TEMP_DIRECTORY_H_
#define Q7K_TOOLS_Q7K_TEMP_DIRECTORY_H_

#include <string>

namespace q7k::tool {

// A new private directory under $TMPDIR (or /tmp), removed with the files in
// it when the object goes, unless kept.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // Empty when it could not be made.
  const std::string& path() const { return path_; }
  void Keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_TEMP_DIRECTORY_H_
