// The soak: many transactions through the public API against the virtual
// instrument in-process, with a random fault on about one reply in ten.
// It checks that every call returns within its time-out plus a margin,
// that every failure carries the code its fault documents, that every
// successful reply decodes to exactly the bytes the instrument sent, and
// that no descriptor or thread is left behind.
//
// The calls it makes are a table (soak.cc, Operations): a new command
// method joins the soak with one entry that calls it and compares what it
// decoded with the instrument's reply.
//
// Thread safety: one soak at a time per process (it counts the process's
// descriptors and threads, and maps one serial port number).
#ifndef Q7K_SOAK_SOAK_H_
#define Q7K_SOAK_SOAK_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace q7k {

struct SoakOptions {
  long transactions = 1000;
  uint32_t seed = 12;
  int faultPercent = 10;  // replies spoiled, in percent
  int32_t port = 9;       // the serial port number the soak maps
  // Also draws silence, each costing a real 4 s reply time-out.
  bool timeOuts = true;
};

struct SoakReport {
  long transactions = 0;
  std::map<std::string, long> faults;  // rule ("none" for clean) -> count
  std::map<std::string, long> calls;   // operation -> count
  int64_t slowestMs = 0;
  size_t fdsBefore = 0, fdsAfter = 0;
  size_t threadsBefore = 0, threadsAfter = 0;
  // What did not hold, each with its transaction; the soak stops after a
  // few.
  std::vector<std::string> problems;

  bool ok() const {
    return problems.empty() && fdsAfter == fdsBefore &&
           threadsAfter == threadsBefore;
  }
  // One line: counts, slowest call, descriptors, threads, faults.
  std::string Summary() const;
};

SoakReport RunSoak(const SoakOptions& options);

}  // namespace q7k

#endif  // Q7K_SOAK_SOAK_H_
