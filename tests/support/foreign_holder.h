// A device held by another process: forks a child that runs open() (which
// must keep the device open while it returns true) and holds it until the
// holder is destroyed.
//
// Thread safety: one test thread. The child runs only open() and waits.
#ifndef Q7K_TESTS_SUPPORT_FOREIGN_HOLDER_H_
#define Q7K_TESTS_SUPPORT_FOREIGN_HOLDER_H_

#include <sys/types.h>

#include <functional>

namespace q7k {

class ForeignHolder {
 public:
  explicit ForeignHolder(const std::function<bool()>& open);
  // Lets the child go and waits for it.
  ~ForeignHolder();
  ForeignHolder(const ForeignHolder&) = delete;
  ForeignHolder& operator=(const ForeignHolder&) = delete;

  // True when the child opened the device and holds it.
  bool holding() const { return holding_; }

 private:
  pid_t child_ = -1;
  int release_ = -1;  // write end; the child waits for a byte
  bool holding_ = false;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_FOREIGN_HOLDER_H_
