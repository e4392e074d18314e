// Report: the rows of the one markdown table the benchmark command prints,
// each a measured figure with what it is compared against.
//
// Thread safety: one thread.
#ifndef Q7K_BENCH_REPORT_H_
#define Q7K_BENCH_REPORT_H_

#include <cstdio>
#include <string>
#include <vector>

namespace q7k {
namespace bench {

struct Row {
  std::string what;
  std::string measured;
  std::string reference;  // the floor or peer, empty when none
  std::string ratio;      // measured / reference, or a derived figure
  std::string target;     // empty when informational
  int met = -1;           // 1 met, 0 missed, -1 no target
};

class Report {
 public:
  void Add(Row row);
  // Prints the table to out.
  void Print(std::FILE* out) const;
  // printf into a string.
  static std::string Format(const char* format, ...)
      __attribute__((format(printf, 1, 2)));

 private:
  std::vector<Row> rows_;
};

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_REPORT_H_
