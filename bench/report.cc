#include "bench/report.h"

#include <cstdarg>

namespace q7k {
namespace bench {

void Report::Add(Row row) {
  std::fprintf(stderr, "  %s: %s\n", row.what.c_str(), row.measured.c_str());
  rows_.push_back(std::move(row));
}

void Report::Print(std::FILE* out) const {
  std::fprintf(out,
               "| Benchmark | Measured | Floor or peer | Ratio | Target | "
               "Met |\n|---|---|---|---|---|---|\n");
  for (const Row& r : rows_) {
    const char* met = r.met < 0 ? "" : r.met ? "yes" : "**no**";
    std::fprintf(out, "| %s | %s | %s | %s | %s | %s |\n", r.what.c_str(),
                 r.measured.c_str(), r.reference.c_str(), r.ratio.c_str(),
                 r.target.c_str(), met);
  }
}

std::string Report::Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

}  // namespace bench
}  // namespace q7k
