#include "log/trace_log.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/clock.h"
#include "resources/version.h"

namespace q7k {
namespace {

constexpr size_t kDumpRowBytes = 32;

// Closes a stdio file on scope exit.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenLog(const char* mode) { return File(std::fopen(kTraceLogName, mode)); }

// Moves an oversized log to the backup; any failure leaves the log growing
// until a later attempt succeeds.
void RotateIfTooLarge() {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(kTraceLogName, ec);
  if (ec || size <= static_cast<std::uintmax_t>(kTraceLogLimit)) return;
  std::remove(kTraceBackupName);
  std::rename(kTraceLogName, kTraceBackupName);
}

void CreateIfMissing() {
  if (OpenLog("rb") != nullptr) return;
  if (File log = OpenLog("ab")) std::fprintf(log.get(), "%s\n", kTraceLogName);
}

// "MM/DD/YY-HH:MM:SS".
std::string FormatStamp(const std::tm& t) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d-%02d:%02d:%02d",
                t.tm_mon + 1, t.tm_mday, ((t.tm_year % 100) + 100) % 100,
                t.tm_hour, t.tm_min, t.tm_sec);
  return stamp;
}

// names[index], or "???" for a field outside the calendar.
template <size_t N>
const char* NameOrUnknown(const char* const (&names)[N], int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? names[index] : "???";
}

}  // namespace

std::string FormatTimeLine(const std::tm& t) {
  static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed",
                                       "Thu", "Fri", "Sat"};
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr",
                                          "May", "Jun", "Jul", "Aug",
                                          "Sep", "Oct", "Nov", "Dec"};
  char line[96];
  std::snprintf(line, sizeof line, "%s %s %02d %02d:%02d:%02d %d\n",
                NameOrUnknown(kDays, t.tm_wday),
                NameOrUnknown(kMonths, t.tm_mon), t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec, t.tm_year + 1900);
  return line;
}

void TraceLine(const char* text, bool withTimestamp) {
  RotateIfTooLarge();
  CreateIfMissing();
  if (text == nullptr || text[0] == '\0') return;
  const std::string stamp =
      withTimestamp ? FormatStamp(CurrentClock().LocalTime()) : std::string();
  File log = OpenLog("ab");
  if (log == nullptr) return;
  if (withTimestamp) {
    std::fprintf(log.get(), "[%s %s]\n", stamp.c_str(), text);
  } else {
    std::fprintf(log.get(), "[%s]\n", text);
  }
}

void TraceExchange(const uint8_t* bytes, size_t count, int16_t errorCode,
                   bool sent, const char* tag) {
  TraceLine(nullptr, false);
  const std::string timeLine = FormatTimeLine(CurrentClock().LocalTime());
  if (errorCode != 0) {
    if (File log = OpenLog("ab")) {
      std::fprintf(log.get(), "Version[%s] ", kComponentVersion);
      std::fprintf(log.get(), "- [%c] Error=%d @ %s", sent ? 'T' : 'R',
                   static_cast<int>(errorCode), timeLine.c_str());
    }
  }
  TraceHexDump(bytes, count, tag);
}

void TraceHexDump(const uint8_t* bytes, size_t count, const char* tag) {
  File log = OpenLog("ab");
  if (log == nullptr) return;
  if (tag != nullptr && tag[0] != '\0') {
    std::fprintf(log.get(), "[%s](%zu)\n", tag, count);
  } else {
    std::fprintf(log.get(), "XXX(%zu)\n", count);
  }
  if (count == 0 || bytes == nullptr) return;
  const size_t dumped = std::min(count, kTraceDumpLimit);
  std::string row;
  for (size_t i = 0; i < dumped; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x ", bytes[i]);
    row += hex;
    if ((i + 1) % kDumpRowBytes == 0) {
      std::fprintf(log.get(), "  %s\n", row.c_str());
      row.clear();
    }
  }
  // The dump always ends with a row, an empty one when the last row was full.
  std::fprintf(log.get(), "  %s\n", row.c_str());
}

}  // namespace q7k
