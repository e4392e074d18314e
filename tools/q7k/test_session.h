// A complete power-factor test session driven through the public API:
// parameters, start, polls through ranging and settling with a progress
// display, the results, stop. The first example an integrator reads.
#ifndef Q7K_TOOLS_Q7K_TEST_SESSION_H_
#define Q7K_TOOLS_Q7K_TEST_SESSION_H_

#include <q7kcomm/q7kcomm.h>

#include <cstdio>
#include <string>

namespace q7k::tool {

struct SessionOptions {
  float kVolts = 10.0f;      // test voltage
  float frequency = 60.0f;   // Hz
  int maxPolls = 40;         // give up after this many polls
  int pollIntervalMs = 250;  // wait between polls
  bool progress = true;      // show the progress window
};

// What the session measured.
struct SessionResult {
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA data{};
  Q7K_THERMAL_DATA thermal{};
  int polls = 0;
};

// Runs the session on an open port (or a simulated one). Returns S_OK, or
// the failing call's result; the component holds the error text then.
HRESULT RunPowerFactorTest(IQ7kComm* comm, const SessionOptions& options,
                           SessionResult* result, std::FILE* log);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_TEST_SESSION_H_
