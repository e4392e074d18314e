// ReplayScript: a session recording taken apart for replay: the request
// frames the host sent, in order, and after each the instrument's bytes
// that followed it until the next request, each chunk with its delay after
// the request's last byte, exactly as recorded (corrupted frames, split
// frames and noise included). Recorded line errors the host's port saw are
// kept in place among the chunks.
//
// Requests are compared decoded: the command, the length field and the
// payload, and whether the checksum holds; the lead bytes, which the
// instrument never examines, are not.
//
// Thread safety: none; a script is built once and then only read.
#ifndef Q7K_EMULATOR_REPLAY_SCRIPT_H_
#define Q7K_EMULATOR_REPLAY_SCRIPT_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/recording_format.h"

namespace q7k {
namespace emu {

struct ReplayChunk {
  std::chrono::microseconds delay{0};  // after the request's last byte
  std::vector<uint8_t> bytes;          // line bytes; empty for a line error
  uint32_t lineErrors = 0;             // kLineError* mask seen by the host
};

struct RecordedExchange {
  std::vector<uint8_t> request;    // the decoded request frame
  std::vector<ReplayChunk> reply;  // empty: the instrument stayed silent
  // The host's port failed after this reply (its section closed with an
  // error): the line closes, as the emulator's close fault does.
  bool lineLost = false;
};

struct ReplayScript {
  std::vector<RecordedExchange> exchanges;
  // What the recording holds that a replay leaves out, one line each.
  std::vector<std::string> notes;
};

// Splits a parsed recording. False with error set for a format version
// this emulator does not know, or a file that is no session recording.
bool BuildReplayScript(const Recording& recording, ReplayScript* out,
                       std::string* error);
bool LoadReplayScript(const std::string& path, ReplayScript* out,
                      std::string* error);

// Whether the instrument would take the two request frames as the same.
bool SameRequest(const std::vector<uint8_t>& a, const uint8_t* b, size_t n);

// "command 0x0004, 3 payload bytes: 01 02 03" (with "bad checksum" or
// "malformed" for frames the instrument drops).
std::string DescribeRequest(const uint8_t* frame, size_t n);

// The most telling error in a kLineError* mask, e.g. "parity error".
const char* LineErrorName(uint32_t mask);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_REPLAY_SCRIPT_H_
