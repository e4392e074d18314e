// ScopedTempDir: a fresh, empty directory that is the process's current
// directory for the object's lifetime, for tests of code that works on
// relative file names.
//
// Thread safety: none; the current directory is process-wide, so tests that
// use it must not run concurrently with other users of the current directory.
#ifndef Q7K_TESTS_SUPPORT_TEMP_DIR_H_
#define Q7K_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>
#include <string_view>

namespace q7k {

class ScopedTempDir {
 public:
  // Under $TMPDIR (or /tmp); a failure fails the test.
  ScopedTempDir();
  // Changes back and removes the tree (which may already be gone).
  ~ScopedTempDir();

  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The directory's absolute path.
  const std::string& path() const { return path_; }
  // The absolute path of name inside the directory.
  std::string File(std::string_view name) const;

 private:
  std::string path_;
  std::string previous_;
};

// The whole content of the file at path; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Replaces the file at path with bytes; false when it cannot be written.
bool WriteFileBytes(const std::string& path, std::string_view bytes);

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_TEMP_DIR_H_
