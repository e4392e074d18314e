// ExchangeTrace: a text trace of what the virtual instrument received and
// sent, one exchange a line:
//
//   +12.345 rx 10 02 00 00 01 00 00 00 01 00 10 03 tx 10 02 ... 10 03
//
// The time is seconds since the trace was opened; rx holds the line bytes of
// the request (noise before it included) and tx the bytes sent, "-" when
// nothing was; the faults applied follow in brackets. Other events (line
// reopened, frame dropped) are written as "+12.345 # text".
//
// Thread safety: Write and Note may be called from any thread.
#ifndef Q7K_EMULATOR_EXCHANGE_TRACE_H_
#define Q7K_EMULATOR_EXCHANGE_TRACE_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace q7k {
namespace emu {

class ExchangeTrace {
 public:
  ExchangeTrace() = default;
  ~ExchangeTrace();
  ExchangeTrace(const ExchangeTrace&) = delete;
  ExchangeTrace& operator=(const ExchangeTrace&) = delete;

  // Appends to path; "-" is standard error. False with error set when the
  // file cannot be opened.
  bool Open(const std::string& path, std::string* error);
  bool is_open() const { return file_ != nullptr; }

  // sent is null when nothing was written.
  void Write(const std::vector<uint8_t>& received,
             const std::vector<uint8_t>* sent,
             const std::vector<std::string>& faults);
  void Note(const std::string& text);

 private:
  std::string Stamp() const;

  std::mutex mutex_;
  FILE* file_ = nullptr;
  bool ownsFile_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_EXCHANGE_TRACE_H_
