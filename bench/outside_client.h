// The round trip measured as a program outside the project measures it: a
// process of its own per client, a pseudo-terminal whose master a peer
// thread reads with blocking read()s, the port found through Q7K_COM9 and
// opened with OpenPort(9, BPS_115200), the slave closed once the client has
// opened it, and no warm-up. The benchmark command runs this body in a child
// process (q7k_bench --outside-client raw|q7kcomm COUNT).
//
// Output, two lines: "wake-ups CLIENT PEER OTHERS INVOLUNTARY CPU" (thread
// wake-ups per exchange of the client's thread, the peer's and all other
// threads, preemptions per exchange, process CPU µs per exchange), then
// every round trip in µs.
//
// Thread safety: the calling thread runs the client; one peer thread.
#ifndef Q7K_BENCH_OUTSIDE_CLIENT_H_
#define Q7K_BENCH_OUTSIDE_CLIENT_H_

#include <string>

namespace q7k {
namespace bench {

// kind is "raw" or "q7kcomm". Returns the exit code.
int RunOutsideClient(const std::string& kind, int count);

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_OUTSIDE_CLIENT_H_
