#include "link/command_trace.h"

#include <cstdio>

#include "log/trace_log.h"

namespace q7k {

void CommandTrace::Write(uint16_t command, Kind kind) {
  const uint32_t entry = uint32_t{command} * 65536u + uint32_t(kind);
  if (entry == last_) return;
  const char letter = kind == kTransmit ? 'C' : kind == kSendOnly ? 'G' : 'R';
  char text[32];
  std::snprintf(text, sizeof text, "<%c>0x%3x", letter, command);
  TraceLine(text, true);
  last_ = entry;
}

}  // namespace q7k
