// The local calendar time of a moment, the one call the clock needs that the
// platforms spell differently (posix_local_time.cc, win32_local_time.cc).
//
// Thread safety: safe from any thread.
#ifndef Q7K_PLATFORM_LOCAL_TIME_H_
#define Q7K_PLATFORM_LOCAL_TIME_H_

#include <ctime>

namespace q7k {

std::tm ToLocalTime(std::time_t moment);

}  // namespace q7k

#endif  // Q7K_PLATFORM_LOCAL_TIME_H_
