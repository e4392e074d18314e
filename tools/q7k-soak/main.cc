// q7k-soak: the soak of soak.h as a program, for runs longer than CI's.
//
//   q7k-soak --transactions 20000 [--seed N] [--fault-percent P]
//
// Prints one summary line and each problem; exits 0 when everything held.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "soak.h"

int main(int argc, char** argv) {
  q7k::SoakOptions options;
  CLI::App app{
      "q7k-soak: transactions against the virtual instrument with "
      "random reply faults"};
  app.add_option("--transactions", options.transactions, "calls to make")
      ->check(CLI::PositiveNumber);
  app.add_option("--seed", options.seed, "random sequence");
  app.add_option("--fault-percent", options.faultPercent,
                 "replies spoiled, in percent")
      ->check(CLI::Range(0, 100));
  app.add_option("--port", options.port, "serial port number to map")
      ->check(CLI::PositiveNumber);
  CLI11_PARSE(app, argc, argv);

  const q7k::SoakReport report = q7k::RunSoak(options);
  std::printf("seed %u: %s\n", options.seed, report.Summary().c_str());
  for (const std::string& problem : report.problems) {
    std::printf("  %s\n", problem.c_str());
  }
  return report.ok() ? 0 : 1;
}
