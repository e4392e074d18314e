#include "support/foreign_holder.h"

#include <sys/wait.h>
#include <unistd.h>

namespace q7k {

ForeignHolder::ForeignHolder(const std::function<bool()>& open) {
  int ready[2], release[2];
  if (pipe(ready) != 0) return;
  if (pipe(release) != 0) {
    close(ready[0]);
    close(ready[1]);
    return;
  }
  child_ = fork();
  if (child_ == 0) {
    const char result = open() ? 'y' : 'n';
    (void)!write(ready[1], &result, 1);
    char go;
    (void)!read(release[0], &go, 1);
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  release_ = release[1];
  char result = 0;
  holding_ = child_ > 0 && read(ready[0], &result, 1) == 1 && result == 'y';
  close(ready[0]);
}

ForeignHolder::~ForeignHolder() {
  if (release_ >= 0) {
    (void)!write(release_, "x", 1);
    close(release_);
  }
  if (child_ > 0) {
    int status = 0;
    waitpid(child_, &status, 0);
  }
}

}  // namespace q7k
