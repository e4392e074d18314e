// RunWithin: a call that may block for longer than its caller can wait
// (a host name lookup whose name server does not answer), bounded.
#ifndef Q7K_PLATFORM_RUN_WITHIN_H_
#define Q7K_PLATFORM_RUN_WITHIN_H_

#include <cstdint>
#include <functional>

namespace q7k {

// Runs work on a thread of its own and waits for it at most timeoutMs of
// real time. True when it finished by then; false when it could not be
// started or runs on. Work that runs on finishes unobserved, so it must
// own everything it touches (capture shared state by shared_ptr).
bool RunWithin(std::function<void()> work, int32_t timeoutMs);

}  // namespace q7k

#endif  // Q7K_PLATFORM_RUN_WITHIN_H_
