// The results of a test session as a table a person can check against the
// formulas (measured values first, then the values derived from them), and
// as the JSON document scripts read.
#ifndef Q7K_TOOLS_Q7K_RESULT_TABLE_H_
#define Q7K_TOOLS_Q7K_RESULT_TABLE_H_

#include <cstdio>

#include "insulation_test_session.h"
#include "tool.h"

namespace q7k::tool {

void PrintResultTable(const SessionResult& result, std::FILE* out);

// One line per poll, for a person watching the test.
void PrintPoll(const SessionResult& result, std::FILE* out);

// Prints the outcome of RunTestSession (the running application and the
// table, or the failure) and returns the exit status.
int ReportSession(Tool& tool, HRESULT hr, const SessionResult& result);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_RESULT_TABLE_H_
