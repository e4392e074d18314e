// A device held by another process: forks a child that runs open() (which
// must keep the device open while it returns true) and holds it until the
// holder is destroyed, which kills the child.
//
// Thread safety: one test thread. The child runs only open() and waits.
#ifndef Q7K_TESTS_SUPPORT_FOREIGN_HOLDER_H_
#define Q7K_TESTS_SUPPORT_FOREIGN_HOLDER_H_

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace q7k {

class ForeignHolder {
 public:
  explicit ForeignHolder(const std::function<bool()>& open) {
    int ready[2];
    if (pipe(ready) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      const char result = open() ? 'y' : 'n';
      (void)!write(ready[1], &result, 1);
      for (;;) pause();
    }
    close(ready[1]);
    char result = 0;
    holding_ = child_ > 0 && read(ready[0], &result, 1) == 1 && result == 'y';
    close(ready[0]);
  }
  ~ForeignHolder() {
    if (child_ <= 0) return;
    kill(child_, SIGKILL);
    int status = 0;
    waitpid(child_, &status, 0);
  }
  ForeignHolder(const ForeignHolder&) = delete;
  ForeignHolder& operator=(const ForeignHolder&) = delete;

  // True when the child opened the device and holds it.
  bool holding() const { return holding_; }

 private:
  pid_t child_ = -1;
  bool holding_ = false;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_FOREIGN_HOLDER_H_
