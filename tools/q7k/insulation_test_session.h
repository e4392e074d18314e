// A complete test session driven through the public API: parameters, start,
// polls through ranging and settling with a progress display, the results,
// stop. The first example an integrator reads.
#ifndef Q7K_TOOLS_Q7K_INSULATION_TEST_SESSION_H_
#define Q7K_TOOLS_Q7K_INSULATION_TEST_SESSION_H_

#include <q7kcomm/q7kcomm.h>

#include <cstdio>
#include <functional>
#include <string>

namespace q7k::tool {

struct SessionResult;

struct SessionOptions {
  TYPE_OF_TEST type = POWER_FACTOR_TEST;
  CIRC_DESC circuit = CIRC_GND_RB;
  float kVolts = 10.0f;     // test voltage
  float frequency = 60.0f;  // Hz
  FILTER_TYPE filter = FIR_FAST_RESULTS;
  bool extended = false;     // command 22: toggle state and peak extremes
  int maxPolls = 40;         // give up after this many polls
  int pollIntervalMs = 250;  // wait between polls
  bool progress = true;      // show the progress window
  // Called after every successful poll with the result so far.
  std::function<void(const SessionResult&)> onPoll;
  // Asked before the start and while waiting between polls; true stops the
  // test there (the person at the instrument wants it off).
  std::function<bool()> stopRequested;
};

// What the session measured.
struct SessionResult {
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA data{};
  Q7K_THERMAL_DATA thermal{};
  int polls = 0;
  bool stopped = false;  // by stopRequested (E_FAIL)
  // On failure: the call that failed and the component's error then. An
  // empty call with E_FAIL: no settled result within maxPolls.
  std::string failedCall;
  short errorCode = 0;
  std::string errorMessage;
};

// Runs the session on an open port (or a simulated one). Returns S_OK, or
// the failing call's result with the failure in *result. A failed poll still
// stops the test: the voltage must not stay on.
HRESULT RunTestSession(IQ7kComm* comm, const SessionOptions& options,
                       SessionResult* result, std::FILE* log);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_INSULATION_TEST_SESSION_H_
