#include <windows.h>

#include <cstdio>

#include "work_dir.h"

namespace q7k::tool {
namespace {

// The system's text for an error code, without its closing full stop.
std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message =
      n > 0 ? std::string(text, n) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() &&
         std::string(" .\r\n").find(message.back()) != std::string::npos) {
    message.pop_back();
  }
  return message;
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  // Either slash separates; a drive's colon ends a directory part too, and
  // the root keeps its separator.
  const size_t cut = path.find_last_of("/\\:");
  if (cut == std::string::npos) return {".", path};
  const bool root =
      cut == 0 || path[cut] == ':' || (cut == 2 && path[1] == ':');
  return {path.substr(0, root ? cut + 1 : cut), path.substr(cut + 1)};
}

std::string AbsolutePath(const std::string& path) {
  // In the ANSI code page, as the component takes the name.
  if (path.empty()) return path;
  const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::string full(size, '\0');
  const DWORD n = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return path;
  full.resize(n);
  return full;
}

// COMn and \\.\COMn name no file.
std::string AbsoluteDevicePath(const std::string& device) { return device; }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

CurrentDirectory::CurrentDirectory(const std::string& dir) {
  // Kept in UTF-16, so that any directory can be returned to; the one asked
  // for comes in the ANSI code page, as the command line and the component
  // have names.
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  previousPath_.resize(size);
  const DWORD length =
      size == 0 ? 0 : GetCurrentDirectoryW(size, previousPath_.data());
  if (length == 0 || length >= size || !SetCurrentDirectoryA(dir.c_str())) {
    error_ = dir + ": " + SystemMessage(GetLastError());
    return;
  }
  previousPath_.resize(length);
  ok_ = true;
}

CurrentDirectory::~CurrentDirectory() {
  // Nothing sensible is left to do when the way back has gone.
  if (ok_ && !SetCurrentDirectoryW(previousPath_.c_str())) {
    std::fprintf(stderr, "q7k: cannot return to the previous directory: %s\n",
                 SystemMessage(GetLastError()).c_str());
  }
}

}  // namespace q7k::tool
