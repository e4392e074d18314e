// The trace log "Q7kComm.log" in the process's current directory, with one
// backup generation "Q7kComm.bak". The only code that writes the trace log.
//
// Every entry opens the file, appends and closes it again; nothing stays open
// between calls and nothing is buffered. A file that cannot be opened, deleted
// or renamed is skipped silently: tracing never fails its caller.
//
// Formats (dates and times in local time, from CurrentClock()):
//   new file first line   "Q7kComm.log\n"
//   text entry            "[%s]\n"
//   time-stamped entry    "[MM/DD/YY-HH:MM:SS %s]\n"
//   error line            "Version[1.00.15] - [T|R] Error=%d @ <time line>"
//   dump header           "[%s](%d)\n", or "XXX(%d)\n" without a tag
//   dump row              "  " then up to 32 times "%02x ", then "\n"
// where the time line is "Www Mmm DD hh:mm:ss YYYY\n".
//
// Thread safety: none needed; all writers run on the client's thread. Several
// objects (and processes) share the file without coordination.
#ifndef Q7K_LOG_TRACE_LOG_H_
#define Q7K_LOG_TRACE_LOG_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace q7k {

inline constexpr const char kTraceLogName[] = "Q7kComm.log";
inline constexpr const char kTraceBackupName[] = "Q7kComm.bak";
inline constexpr long kTraceLogLimit = 100000;  // bytes; rotated when larger
inline constexpr size_t kTraceDumpLimit = 300;  // bytes dumped at most

// Rotates and creates the log as needed, then writes one text entry when text
// is neither null nor empty (time-stamped when withTimestamp).
void TraceLine(const char* text, bool withTimestamp);

// An error line when errorCode is not 0 (sent chooses 'T', else 'R'), then the
// dump of count bytes. tag may be null.
void TraceExchange(const uint8_t* bytes, size_t count, int16_t errorCode,
                   bool sent, const char* tag);

// Dump header and rows of count bytes (at most 300 dumped).
void TraceHexDump(const uint8_t* bytes, size_t count, const char* tag);

// "Www Mmm DD hh:mm:ss YYYY\n" for t; shared with the client log.
std::string FormatTimeLine(const std::tm& t);

}  // namespace q7k

#endif  // Q7K_LOG_TRACE_LOG_H_
