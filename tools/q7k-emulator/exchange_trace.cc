#include "exchange_trace.h"

#include <cerrno>
#include <cstring>

namespace q7k {
namespace emu {
namespace {

void AppendHex(std::string* out, const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (uint8_t b : bytes) {
    out->push_back(' ');
    out->push_back(kDigits[b >> 4]);
    out->push_back(kDigits[b & 15]);
  }
}

}  // namespace

ExchangeTrace::~ExchangeTrace() {
  if (ownsFile_ && file_ != nullptr) std::fclose(file_);
}

bool ExchangeTrace::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path == "-") {
    file_ = stderr;
    ownsFile_ = false;
  } else {
    file_ = std::fopen(path.c_str(), "a");
    if (file_ == nullptr) {
      *error = "cannot open trace " + path + ": " + std::strerror(errno);
      return false;
    }
    ownsFile_ = true;
  }
  start_ = std::chrono::steady_clock::now();
  return true;
}

std::string ExchangeTrace::Stamp() const {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start_)
                      .count();
  char text[32];
  std::snprintf(text, sizeof text, "+%lld.%03lld",
                static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

void ExchangeTrace::Write(const std::vector<uint8_t>& received,
                          const std::vector<uint8_t>* sent,
                          const std::vector<std::string>& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  std::string line = Stamp() + " rx";
  AppendHex(&line, received);
  line += " tx";
  if (sent != nullptr) {
    AppendHex(&line, *sent);
  } else {
    line += " -";
  }
  if (!faults.empty()) {
    line += " [";
    for (size_t i = 0; i < faults.size(); ++i) {
      line += (i ? " " : "") + faults[i];
    }
    line += "]";
  }
  line += "\n";
  std::fputs(line.c_str(), file_);
  std::fflush(file_);
}

void ExchangeTrace::Note(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  std::fprintf(file_, "%s # %s\n", Stamp().c_str(), text.c_str());
  std::fflush(file_);
}

}  // namespace emu
}  // namespace q7k
