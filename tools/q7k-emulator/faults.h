// Fault injection: rules that spoil the instrument's replies on purpose, so
// that a host's error handling can be exercised over a real line.
//
// A rule names a fault kind, its parameters and when it fires: on every
// reply, once (the next reply, then the rule is spent) or on every Nth
// reply, optionally counting only the replies to one command code.
//
// Text form (command line and tests): KIND[=ARGS][@WHEN]... with
//   KIND   checksum | number | length | acknak | silence | split | noise |
//          oversize | nak | close
//   ARGS   split=CHUNK,DELAY_MS (default 1,2); noise=COUNT (default 8);
//          oversize=FRAME_BYTES (default 320, at least 301);
//          nak=NUMBER[,HEX_DETAIL_BYTES]
//   WHEN   once | every=N | cmd=CODE (decimal or 0x hex); several may be
//          given, e.g. "silence@cmd=0x7E06@once"
//
// Thread safety: FaultPlan has none; its owner serialises access.
#ifndef Q7K_EMULATOR_FAULTS_H_
#define Q7K_EMULATOR_FAULTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "replay_script.h"
#include "reply.h"

namespace q7k {
namespace emu {

enum class FaultKind {
  kChecksum,  // checksum field one off
  kNumber,    // message number one off (checksum kept valid)
  kLength,    // length field one off (checksum kept valid)
  kAckNak,    // first payload byte neither ACK nor NAK
  kSilence,   // no reply at all
  kSplit,     // the reply in small writes with pauses between them
  kNoise,     // bytes that are no frame before the reply
  kOversize,  // a valid frame longer than the 300 bytes a host buffer holds
  kNak,       // a NAK with the given number and detail bytes instead
  kClose,     // the line closes half-way through the reply
};

struct FaultRule {
  enum class When { kAlways, kOnce, kEveryNth };

  FaultKind kind = FaultKind::kChecksum;
  When when = When::kAlways;
  uint32_t every = 1;       // kEveryNth: fires on the Nth, 2Nth ... reply
  bool oneCommand = false;  // count only replies to command
  uint16_t command = 0;

  size_t splitChunk = 1;
  uint32_t splitDelayMs = 2;
  size_t noiseBytes = 8;
  size_t oversizeFrame = 320;
  int16_t nakNumber = 0;
  std::vector<uint8_t> nakDetails;
};

// Parses the text form; false with error set when it is malformed.
bool ParseFaultRule(const std::string& text, FaultRule* rule,
                    std::string* error);
const char* FaultName(FaultKind kind);

// The rules in force and their counters.
class FaultPlan {
 public:
  void Add(const FaultRule& rule);
  void Clear();
  size_t size() const { return entries_.size(); }

  // The rules that fire for the next reply to command, in the order they
  // were added; counts the reply and removes spent one-shot rules.
  std::vector<FaultRule> Fire(uint16_t command);

 private:
  struct Entry {
    FaultRule rule;
    uint64_t seen = 0;
  };
  std::vector<Entry> entries_;
};

// What goes onto the line for one reply.
struct Transmission {
  std::vector<uint8_t> line;  // line-encoded bytes, noise included
  bool silent = false;        // write nothing
  size_t chunk = 0;           // write in pieces of this size; 0: at once
  uint32_t chunkDelayMs = 0;  // pause after each piece
  bool close = false;         // close the line after closeAfter bytes
  size_t closeAfter = 0;
  std::vector<std::string> faults;  // names of the faults applied
  // A replayed reply: each chunk at its delay after the request, in place
  // of line; bytes as recorded, unpaced (the recording holds the line's
  // own time).
  std::vector<ReplayChunk> recorded;
};

// The transmission of reply to command with the fired rules applied.
Transmission Shape(uint16_t command, const Reply& reply,
                   const std::vector<FaultRule>& fired);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_FAULTS_H_
