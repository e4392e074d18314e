// The results of a test session as a table a person can check against the
// formulas: measured values first, then the values derived from them.
#ifndef Q7K_TOOLS_Q7K_RESULT_TABLE_H_
#define Q7K_TOOLS_Q7K_RESULT_TABLE_H_

#include <cstdio>

#include "test_session.h"

namespace q7k::tool {

void PrintResultTable(const SessionResult& result, std::FILE* out);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_RESULT_TABLE_H_
