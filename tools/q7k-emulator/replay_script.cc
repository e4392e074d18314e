#include "replay_script.h"

#include <algorithm>
#include <cstdio>

#include "link/le_bytes.h"
#include "link/line_codec.h"
#include "link/message_buffer.h"

namespace q7k {
namespace emu {
namespace {

bool ChecksumHolds(const uint8_t* frame, size_t n) {
  if (n < kFrameOverhead) return false;
  uint32_t sum = 0;
  for (size_t i = 0; i + 2 < n; ++i) sum += frame[i];
  return static_cast<uint16_t>(sum) == LoadU16(frame + n - 2);
}

std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", p[i]);
    s += b;
  }
  return s;
}

}  // namespace

const char* LineErrorName(uint32_t mask) {
  if (mask & kRecordingLineErrorBreak) return "break";
  if (mask & kRecordingLineErrorParity) return "parity error";
  if (mask & kRecordingLineErrorFraming) return "framing error";
  if (mask & kRecordingLineErrorOverrun) return "overrun";
  return "receive buffer overflow";
}

bool BuildReplayScript(const Recording& recording, ReplayScript* out,
                       std::string* error) {
  *out = ReplayScript();
  bool started = false;
  LineDecoder decoder;
  uint64_t requestEnd = 0;  // time of the current request's last byte
  size_t early = 0;         // instrument bytes before any request
  size_t sectionStart = 0;  // the first request of the current section
  for (const RecordingEvent& e : recording.events) {
    RecordedExchange* current =
        out->exchanges.empty() ? nullptr : &out->exchanges.back();
    const auto delay = std::chrono::microseconds(
        e.timeUs > requestEnd ? e.timeUs - requestEnd : 0);
    switch (e.kind) {
      case RecordingEventKind::kStart:
        if (e.number != kRecordingFormatVersion) {
          *error = "recording format version " + std::to_string(e.number) +
                   " is not known (this emulator reads version " +
                   std::to_string(kRecordingFormatVersion) + ")";
          return false;
        }
        started = true;
        break;
      case RecordingEventKind::kData:
        if (e.direction == RecordingDirection::kFromInstrument) {
          if (current == nullptr) {
            early += e.bytes.size();
          } else {
            current->reply.push_back({delay, e.bytes, 0});
          }
          break;
        }
        // One byte at a time: a write may hold the end of one request and
        // the start of the next.
        for (uint8_t b : e.bytes) {
          const LineDecoder::Result r = decoder.Feed(&b, 1);
          if (r == LineDecoder::kComplete) {
            out->exchanges.push_back(
                {{decoder.frame(), decoder.frame() + decoder.count()}, {}});
            requestEnd = e.timeUs;
          }
          if (r != LineDecoder::kNeedMore) decoder.Reset();
        }
        break;
      case RecordingEventKind::kLineError:
      case RecordingEventKind::kModemLines:
        if (current == nullptr) {
          out->notes.push_back(
              "a line event before the first request is not replayed");
        } else if (e.kind == RecordingEventKind::kLineError) {
          current->reply.push_back({delay, {}, e.number});
        } else {
          out->notes.push_back("request frame " +
                               std::to_string(out->exchanges.size()) +
                               ": a change of the modem lines is not replayed");
        }
        break;
      case RecordingEventKind::kOpen:
        // A later section of the file: the port was opened again, and a
        // request cut off by the close was never finished.
        decoder.Reset();
        sectionStart = out->exchanges.size();
        break;
      case RecordingEventKind::kClose:
        if (e.code != 0 && current != nullptr &&
            out->exchanges.size() > sectionStart) {
          current->lineLost = true;
        }
        break;
      default:
        // The host's own doings (open, close, purges, breaks, time-outs)
        // are the replaying host's to do again.
        break;
    }
  }
  if (!started) {
    *error = "no start event: not a session recording";
    return false;
  }
  if (early > 0) {
    out->notes.push_back(std::to_string(early) +
                         " instrument bytes before the first request are "
                         "not replayed");
  }
  return true;
}

bool LoadReplayScript(const std::string& path, ReplayScript* out,
                      std::string* error) {
  Recording recording;
  if (!LoadRecording(path, &recording, error)) return false;
  return BuildReplayScript(recording, out, error);
}

bool SameRequest(const std::vector<uint8_t>& a, const uint8_t* b, size_t n) {
  const bool validA = ChecksumHolds(a.data(), a.size());
  if (validA != ChecksumHolds(b, n) || a.size() != n) return false;
  // A valid frame's checksum follows from the rest but for the lead bytes.
  const size_t end = validA ? n - 2 : n;
  const size_t from = n < 2 ? n : 2;
  return std::equal(a.begin() + from, a.begin() + end, b + from);
}

std::string DescribeRequest(const uint8_t* frame, size_t n) {
  if (n < kFrameOverhead) return "malformed frame: " + Hex(frame, n);
  char head[64];
  std::snprintf(head, sizeof head, "command 0x%04X, %zu payload bytes",
                LoadU16(frame + 2), n - kFrameOverhead);
  std::string s = head;
  if (n > kFrameOverhead) s += ": " + Hex(frame + 6, n - kFrameOverhead);
  if (LoadU16(frame + 4) != n - kFrameOverhead) {
    s += " (length field " + std::to_string(LoadU16(frame + 4)) + ")";
  }
  if (!ChecksumHolds(frame, n)) s += " (bad checksum)";
  return s;
}

}  // namespace emu
}  // namespace q7k
