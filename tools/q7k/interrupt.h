// Ctrl-C while a test runs must not leave the specimen under voltage: while
// an InterruptGuard lives, the first Ctrl-C (or, on POSIX, termination
// request) is only noted, so that the command can stop the test and end;
// a second one ends the program at once.
#ifndef Q7K_TOOLS_Q7K_INTERRUPT_H_
#define Q7K_TOOLS_Q7K_INTERRUPT_H_

namespace q7k::tool {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // Whether an interruption was noted since the guard was made.
  bool requested() const;
};

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_INTERRUPT_H_
