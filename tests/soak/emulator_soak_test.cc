// The soak of tools/q7k-soak, short: 1,000 transactions with random faults
// on one reply in ten. Q7K_SOAK_TRANSACTIONS sets another length. Silence
// is left to the fault table, which runs its time-out on the fake clock;
// here each would cost a real 4 s.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "soak.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

TEST(EmulatorSoakTest, RandomFaultsOnOneReplyInTen) {
  ScopedTempDir dir;  // the trace log of failed exchanges
  SoakOptions options;
  options.timeOuts = false;
  if (const char* n = std::getenv("Q7K_SOAK_TRANSACTIONS")) {
    options.transactions = std::atol(n);
  }
  const SoakReport report = RunSoak(options);
  EXPECT_TRUE(report.ok()) << report.Summary();
  for (const std::string& problem : report.problems) ADD_FAILURE() << problem;
  EXPECT_EQ(report.transactions, options.transactions);
  std::printf("%s\n", report.Summary().c_str());
}

}  // namespace
}  // namespace q7k
