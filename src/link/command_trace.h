// CommandTrace: the trace log's entry per command exchange, the command
// code behind the letter of its kind ("<C>0x 12"). A run of the same
// command and kind is written once; any other entry in between makes the
// next one appear again.
//
// Thread safety: none; one transactor's, on the client's thread.
#ifndef Q7K_LINK_COMMAND_TRACE_H_
#define Q7K_LINK_COMMAND_TRACE_H_

#include <cstdint>

namespace q7k {

class CommandTrace {
 public:
  enum Kind { kTransmit = 1, kSendOnly = 2, kReceiveOnly = 3 };

  // Writes the time-stamped entry unless it repeats the last one.
  void Write(uint16_t command, Kind kind);

 private:
  uint32_t last_ = 0;
};

}  // namespace q7k

#endif  // Q7K_LINK_COMMAND_TRACE_H_
