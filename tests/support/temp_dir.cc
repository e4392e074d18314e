#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace q7k {

ScopedTempDir::ScopedTempDir() {
  std::error_code ec;
  previous_ = std::filesystem::current_path(ec).string();
  if (ec) ADD_FAILURE() << "current directory unknown: " << ec.message();
  const char* base = std::getenv("TMPDIR");
  std::string name = (base != nullptr && base[0] != '\0') ? base : "/tmp";
  name += "/q7k_test_XXXXXX";
  if (mkdtemp(name.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
    return;
  }
  path_ = name;
  if (chdir(path_.c_str()) != 0) {
    ADD_FAILURE() << "chdir " << path_ << " failed: " << std::strerror(errno);
  }
}

ScopedTempDir::~ScopedTempDir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) {
    ADD_FAILURE() << "cannot return to " << previous_;
  }
  if (!path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
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
