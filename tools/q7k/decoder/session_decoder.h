// A recorded session as the commands that crossed the line, for a program
// that sees only the public API (q7k decode). This header includes nothing
// internal; the decoding behind it uses the component's own frame checks,
// reply decoders and error texts.
//
// Thread safety: the functions are pure.
#ifndef Q7K_TOOLS_Q7K_DECODER_SESSION_DECODER_H_
#define Q7K_TOOLS_Q7K_DECODER_SESSION_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace q7k {

struct DecodedEvent {
  enum class Kind { kRequest, kReply, kPort, kError };
  Kind kind = Kind::kPort;
  int64_t timeUs = 0;  // since the recording's first packet
  std::string name;    // the command's name, or the event's
  // Named values in the order they are shown, as text. One without a name
  // is the verdict, shown bare: ACK, NAK, time-out, failed, bad reply, bad
  // frame, frame too long.
  std::vector<std::pair<std::string, std::string>> fields;
};

struct DecodedSession {
  std::string application;  // the component that wrote the recording
  std::string portName;
  std::vector<DecodedEvent> events;
};

// Decodes a recording's bytes; texts of errors are the component's in
// language (0 English, 1 Spanish, 2 Portuguese, 3 French). False, with a
// one-line reason, for a file the recording reader refuses or a format
// version this decoder does not know.
bool DecodeSessionBytes(const uint8_t* data, size_t size, int language,
                        DecodedSession* out, std::string* error);
bool DecodeSessionFile(const std::string& path, int language,
                       DecodedSession* out, std::string* error);

// "    12.345 -> ReadInt slot=1 subslot=0 location=3": the time in ms since
// the first packet with microseconds, "->" host to instrument, "<-" back,
// "--" a port event, "!!" an error.
std::string FormatDecodedEvent(const DecodedEvent& event);

}  // namespace q7k

#endif  // Q7K_TOOLS_Q7K_DECODER_SESSION_DECODER_H_
