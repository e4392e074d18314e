// The component's C++ client in a child process, speaking the Python
// client's protocol (bench/q7kcomm_client.py): "ready" once the port is open
// and one exchange went through, then for every line "N" on standard input
// N timed round trips, their times in µs on one line.
#include <cstdio>
#include <iostream>
#include <string>

#include "bench/benchmarks.h"
#include "bench/measure.h"

namespace q7k {
namespace bench {

int RunTurnClient(const std::string& device) {
  ComponentSession session(9, device);
  if (!session.ok() || FAILED(session.comm()->StartPONSequence())) {
    std::printf("C++ client failed (%s)\n", session.error().c_str());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  std::string samples;
  for (std::string line; std::getline(std::cin, line);) {
    samples.clear();
    for (int i = std::stoi(line); i > 0; --i) {
      const auto start = WallClock::now();
      if (FAILED(session.comm()->StartPONSequence())) return 1;
      samples += Report::Format("%.1f ", Micros(WallClock::now() - start));
    }
    std::printf("%s\n", samples.c_str());
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace bench
}  // namespace q7k
