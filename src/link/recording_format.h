// The session recording file: pcapng blocks that hold every byte on the
// line in each direction and the port's events, with microsecond times.
// docs/recording.md is the format's description; this file is the one place
// that writes and reads it.
//
// Layout: a section header (the component's name and version as the
// writing application), interface 0 (line bytes, link type USER0, named
// after the port) and interface 1 (port events, link type USER1), then one
// enhanced packet per chunk of bytes or per event. A data packet's flags
// give its direction; an event packet starts with its kind byte.
//
// Thread safety: the functions are pure; a Recording belongs to its reader.
#ifndef Q7K_LINK_RECORDING_FORMAT_H_
#define Q7K_LINK_RECORDING_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace q7k {

inline constexpr uint16_t kRecordingFormatVersion = 1;
inline constexpr uint32_t kRecordingLinkTypeLine = 147;    // USER0
inline constexpr uint32_t kRecordingLinkTypeEvents = 148;  // USER1
inline constexpr uint32_t kRecordingLineInterface = 0;
inline constexpr uint32_t kRecordingEventInterface = 1;

enum class RecordingDirection : uint8_t {
  kNone = 0,
  kFromInstrument = 1,  // pcapng "inbound"
  kToInstrument = 2,    // pcapng "outbound"
};

// The kind byte of an event packet; kData is a line packet and never
// appears as a kind byte in the file.
enum class RecordingEventKind : uint8_t {
  kStart = 0,           // text: component version; number: format version
  kOpen = 1,            // line settings below; number: COMn; text: device
  kClose = 2,
  kPurge = 3,           // number: mask, 1 receive, 2 transmit
  kBreak = 4,           // number: milliseconds the host held the break
  kLineError = 5,       // number: mask of kLineError* below
  kModemLines = 6,      // number: the new state, mask of kModem* below
  kTimeout = 7,         // command; number: milliseconds waited
  kExchangeFailed = 8,  // command; code: the component's error number
  kData = 0xFF,
};

inline constexpr uint32_t kRecordingPurgeReceive = 1;
inline constexpr uint32_t kRecordingPurgeTransmit = 2;
inline constexpr uint32_t kRecordingLineErrorParity = 1;
inline constexpr uint32_t kRecordingLineErrorFraming = 2;
inline constexpr uint32_t kRecordingLineErrorOverrun = 4;
inline constexpr uint32_t kRecordingLineErrorReceiveOverflow = 8;
inline constexpr uint32_t kRecordingLineErrorBreak = 16;
inline constexpr uint32_t kRecordingModemCts = 1;
inline constexpr uint32_t kRecordingModemDsr = 2;
inline constexpr uint32_t kRecordingModemCarrier = 4;
inline constexpr uint32_t kRecordingModemRing = 8;
inline constexpr uint8_t kRecordingLineFlagDtr = 1;
inline constexpr uint8_t kRecordingLineFlagRts = 2;
inline constexpr uint8_t kRecordingLineFlagXonXoff = 4;
inline constexpr uint8_t kRecordingLineFlagCts = 8;
inline constexpr uint8_t kRecordingLineFlagDsr = 16;

struct RecordingEvent {
  uint64_t timeUs = 0;  // microseconds since 1970-01-01 UTC
  RecordingEventKind kind = RecordingEventKind::kData;
  RecordingDirection direction = RecordingDirection::kNone;  // kData only
  std::vector<uint8_t> bytes;                                // kData only
  uint32_t number = 0;
  uint16_t command = 0;
  int32_t code = 0;
  // kOpen: the line settings the port opened with.
  uint32_t baud = 0;
  uint8_t dataBits = 0;
  char parity = 0;  // 'N', 'O', 'E', 'M', 'S'
  uint8_t stopBits = 0;
  uint8_t lineFlags = 0;  // kLineFlag*
  std::string text;
};

struct Recording {
  std::string application;  // the writer's name and version
  std::string portName;     // interface 0's name, e.g. "COM3"
  std::vector<RecordingEvent> events;  // in file order
};

// The section header and both interface descriptions: the start of a file.
void AppendRecordingHeader(const std::string& application,
                           const std::string& portName,
                           std::vector<uint8_t>* out);

// One packet. For kData the direction and bytes; otherwise the fixed
// 20-byte event record (kind, 0, command, number, code, baud, dataBits,
// parity, stopBits, lineFlags; little-endian) and then text. Fields a kind
// does not use are written as zero.
void AppendRecordingEvent(const RecordingEvent& event,
                          std::vector<uint8_t>* out);

// A line packet without building an event first.
void AppendRecordingData(uint64_t timeUs, RecordingDirection direction,
                         const uint8_t* bytes, size_t count,
                         std::vector<uint8_t>* out);

// Reads a whole file's bytes. Unknown block types and options are skipped;
// a truncated last block (a recording cut short by a crash or a full disk)
// ends the events read so far with no error. Anything else malformed gives
// false and a one-line reason in *error.
bool ParseRecording(const uint8_t* data, size_t size, Recording* out,
                    std::string* error);

bool LoadRecording(const std::string& path, Recording* out,
                   std::string* error);

}  // namespace q7k

#endif  // Q7K_LINK_RECORDING_FORMAT_H_
