// The virtual instrument demo --emulator runs its session on, in this
// process, with only its boot loader, so that the firmware check has to
// download, program and start the sample firmware. It serves on a
// pseudo-terminal, so Windows builds have none and say so.
#ifndef Q7K_TOOLS_Q7K_VIRTUAL_BENCH_H_
#define Q7K_TOOLS_Q7K_VIRTUAL_BENCH_H_

#include <memory>
#include <string>

#include "tool.h"

namespace q7k::tool {

class VirtualBench {
 public:
  VirtualBench();
  // The instrument goes before its directory.
  ~VirtualBench();
  VirtualBench(const VirtualBench&) = delete;
  VirtualBench& operator=(const VirtualBench&) = delete;

  // Starts the instrument in a scratch directory that holds the sample
  // firmware and becomes the current one, and points the tool's port at
  // it. Returns kExitOk, or an exit status after a message.
  int Start(Tool& tool);
  // The scratch directory, where --trace leaves the log.
  std::string directory() const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_VIRTUAL_BENCH_H_
