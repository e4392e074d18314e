#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace q7k {

ScopedTempDir::ScopedTempDir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  previous_ = fs::current_path(ec).string();
  if (ec) ADD_FAILURE() << "current directory unknown: " << ec.message();
  const fs::path base = fs::temp_directory_path(ec);  // honours TMPDIR
  if (ec) {
    ADD_FAILURE() << "no temporary directory: " << ec.message();
    return;
  }
  std::random_device entropy;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate =
        base / ("q7k_test_" + std::to_string(entropy()));
    if (fs::create_directory(candidate, ec)) path_ = candidate.string();
  }
  if (path_.empty()) {
    ADD_FAILURE() << "cannot create a directory in " << base.string();
    return;
  }
  fs::current_path(path_, ec);
  if (ec) ADD_FAILURE() << "cannot enter " << path_ << ": " << ec.message();
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  if (!previous_.empty()) {
    std::filesystem::current_path(previous_, ec);
    if (ec) ADD_FAILURE() << "cannot return to " << previous_;
  }
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string ScopedTempDir::File(std::string_view name) const {
  std::string full = path_;
  full += '/';
  full += name;
  return full;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace q7k
