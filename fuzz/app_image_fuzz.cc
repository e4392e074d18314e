// Fuzzes the application image reader and the image length with arbitrary
// file contents: they must never crash, read outside their buffers or leave
// a field unterminated.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "firmware/app_image_file.h"

namespace {

// One scratch directory for the whole run, removed at exit.
struct ScratchDir {
  ScratchDir() {
    char pattern[] = "/tmp/q7k-image-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
    path = pattern;
  }
  ~ScratchDir() {
    std::remove("Q7I.X0");
    std::remove("APP.X0");
    std::remove("Q7kComm.log");
    rmdir(path.c_str());
  }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScratchDir dir;
  if (size == 0) return 0;
  // The first byte picks the firmware rules or an ordinary application.
  const std::string name = (data[0] & 1) ? "Q7I" : "APP";
  std::FILE* f = std::fopen((name + ".X0").c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);

  q7k::AppInfo info;
  const int32_t error = q7k::ReadAppFileHeader(name, &info);
  if (info.Name[8] != 0 || info.Date[8] != 0 || info.Time[8] != 0 ||
      info.Version[8] != 0 || info.Description[32] != 0) {
    std::abort();
  }
  if (error != 0 && error != -1 && error != -2) std::abort();
  // The length's backward search must stop at the start of the file.
  q7k::AppImageLength(name + ".X0");
  return 0;
}
