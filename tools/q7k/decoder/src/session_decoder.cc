#include "session_decoder.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "command_fields.h"
#include "component/error_state.h"
#include "link/error_codes.h"
#include "link/instrument_link.h"
#include "link/le_bytes.h"
#include "link/line_codec.h"
#include "link/link_errors.h"
#include "link/message_buffer.h"
#include "link/recording_format.h"
#include "platform/utf8_text.h"

namespace q7k {
namespace {

using decoder::CommandName;
using decoder::Hex;
using Kind = DecodedEvent::Kind;

// The loopback test's failures are recorded with command 0, which no
// method sends.
constexpr uint16_t kLoopbackCommand = 0;

std::string Masked(
    uint32_t mask,
    std::initializer_list<std::pair<uint32_t, const char*>> bits) {
  std::string s;
  for (const auto& b : bits) {
    if ((mask & b.first) != 0)
      s += (s.empty() ? "" : " ") + std::string(b.second);
  }
  return s.empty() ? "none" : s;
}

bool Printable(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return n > 0;
}

// Walks a recording in file order: line bytes become frames per direction,
// frames become commands and replies, events are shown as they are.
class SessionWalker {
 public:
  SessionWalker(int language, DecodedSession* out) : out_(out) {
    errors_.set_language(language);
  }

  bool Add(const RecordingEvent& e, std::string* error) {
    if (!started_) {
      startUs_ = e.timeUs;
      started_ = true;
    }
    const int64_t t = static_cast<int64_t>(e.timeUs - startUs_);
    switch (e.kind) {
      case RecordingEventKind::kData:
        Line(e, t);
        return true;
      case RecordingEventKind::kStart:
        // A later section: its port is new, so is its line.
        EndSection();
        // The file's first start event gives its format.
        if (!versioned_ && e.number != kRecordingFormatVersion) {
          *error = "recording format version " + std::to_string(e.number) +
                   " is not known to this decoder";
          return false;
        }
        versioned_ = true;
        Emit(Kind::kPort, t, "start", "").fields = {
            {"component", e.text}, {"format", std::to_string(e.number)}};
        return true;
      case RecordingEventKind::kOpen:
        Open(e, t);
        return true;
      case RecordingEventKind::kClose:
        // What the close cut off never ends: the next bytes are a new port's.
        EndSection();
        Emit(Kind::kPort, t, "close", "");
        if (e.code != 0) {
          out_->events.back().fields.emplace_back("status",
                                                  std::to_string(e.code));
        }
        return true;
      case RecordingEventKind::kPurge:
        Emit(Kind::kPort, t, "purge", "").fields = {
            {"sides",
             Masked(e.number, {{kRecordingPurgeReceive, "receive"},
                               {kRecordingPurgeTransmit, "transmit"}})}};
        return true;
      case RecordingEventKind::kBreak:
        Emit(Kind::kPort, t, "break", "").fields = {
            {"ms", std::to_string(e.number)}};
        return true;
      case RecordingEventKind::kLineError:
        Emit(Kind::kError, t, "line error", "").fields = {
            {"errors",
             Masked(e.number, {{kRecordingLineErrorParity, "parity"},
                               {kRecordingLineErrorFraming, "framing"},
                               {kRecordingLineErrorOverrun, "overrun"},
                               {kRecordingLineErrorReceiveOverflow, "overflow"},
                               {kRecordingLineErrorBreak, "break"}})}};
        return true;
      case RecordingEventKind::kModemLines:
        Emit(Kind::kPort, t, "modem lines", "").fields = {
            {"on", Masked(e.number, {{kRecordingModemCts, "CTS"},
                                     {kRecordingModemDsr, "DSR"},
                                     {kRecordingModemCarrier, "CD"},
                                     {kRecordingModemRing, "RI"}})}};
        return true;
      case RecordingEventKind::kTimeout:
        Failure(
            t, e.command, "time-out",
            LinkErrorCode(e.command == kLoopbackCommand ? kLinkLoopbackMissing
                                                        : kLinkTimeout))
            .fields.emplace_back("waited_ms", std::to_string(e.number));
        return true;
      case RecordingEventKind::kExchangeFailed:
        Failure(t, e.command, "failed", e.code);
        return true;
    }
    Emit(Kind::kPort, t, "event " + std::to_string(static_cast<int>(e.kind)),
         "");
    return true;
  }

 private:
  DecodedEvent& Emit(Kind kind, int64_t t, std::string name,
                     std::string verdict) {
    DecodedEvent& e = out_->events.emplace_back();
    e.kind = kind;
    e.timeUs = t;
    e.name = std::move(name);
    if (!verdict.empty()) e.fields.emplace_back("", std::move(verdict));
    return e;
  }

  void EndSection() {
    host_.Reset();
    instrument_.Reset();
    pending_ = -1;
    loopback_.clear();
  }

  void Open(const RecordingEvent& e, int64_t t) {
    char settings[48];
    std::snprintf(settings, sizeof settings, "%u %u%c%u", e.baud,
                  unsigned{e.dataBits}, e.parity == 0 ? '?' : e.parity,
                  unsigned{e.stopBits});
    Emit(Kind::kPort, t, "open", "").fields = {
        {"port", "COM" + std::to_string(e.number)},
        {"device", e.text},
        {"settings", settings},
        {"lines", Masked(e.lineFlags, {{kRecordingLineFlagDtr, "DTR"},
                                       {kRecordingLineFlagRts, "RTS"},
                                       {kRecordingLineFlagXonXoff, "XON/XOFF"},
                                       {kRecordingLineFlagCts, "CTS-handshake"},
                                       {kRecordingLineFlagDsr, "DSR-handshake"}})}};
  }

  // The component's text for an error code it recorded (or, below zero, a
  // link error number): the link's own texts (message layer and port), or
  // the instrument's as its last negative reply gave it.
  std::string CodeText(int32_t code) {
    const int32_t number = code < 0 ? code : 100 - code;
    const int32_t id = number < 0 ? InstrumentLink::CodeMessageId(number) : 0;
    if (id != 0) {
      errors_.SetCode(code, id);
      return Utf8FromUtf16(errors_.message());
    }
    return code == nakCode_ ? nakText_ : std::string();
  }

  DecodedEvent& Failure(int64_t t, uint16_t command, const char* what,
                        int32_t code) {
    DecodedEvent& e =
        Emit(Kind::kError, t,
             command == kLoopbackCommand ? "Loopback" : CommandName(command),
             what);
    e.fields.emplace_back("code", std::to_string(code));
    const std::string text = CodeText(code);
    if (!text.empty()) e.fields.emplace_back("text", text);
    return e;
  }

  void Line(const RecordingEvent& e, int64_t t) {
    const bool toInstrument = e.direction == RecordingDirection::kToInstrument;
    LineDecoder& d = toInstrument ? host_ : instrument_;
    // One byte at a time: the decoder drops what follows a frame's end in
    // the same block, and a packet may hold the start of the next frame.
    for (const uint8_t b : e.bytes) {
      const LineDecoder::Result r = d.Feed(&b, 1);
      if (r == LineDecoder::kNeedMore) continue;
      if (r == LineDecoder::kComplete) {
        if (toInstrument) {
          Request(d.frame(), d.count(), t);
        } else {
          Reply(d.frame(), d.count(), t);
        }
      } else {
        Emit(Kind::kError, t, toInstrument ? "request" : "reply",
             "frame too long")
            .fields.emplace_back("bytes", std::to_string(d.count()));
      }
      d.Reset();
    }
  }

  void Request(const uint8_t* f, size_t n, int64_t t) {
    const bool sound = n >= kFrameOverhead &&
                       LoadI16(f + 4) == static_cast<int64_t>(n) - 8 &&
                       LoadU16(f + n - 2) == Checksum(f, n - 2);
    if (!sound) {
      // The loopback test sends its text as a bare frame.
      if (Printable(f, n)) {
        loopback_.assign(f, f + n);
        Emit(Kind::kRequest, t, "Loopback", "")
            .fields.emplace_back("text", loopback_);
      } else {
        loopback_.clear();
        Emit(Kind::kError, t, "request", "bad frame")
            .fields.emplace_back("frame", Hex(f, n));
      }
      pending_ = -1;
      return;
    }
    const uint16_t command = LoadU16(f + 2);
    pending_ = command;
    loopback_.clear();
    DecodedEvent& e = Emit(Kind::kRequest, t, CommandName(command), "");
    decoder::DescribeRequest(command, f + 6, n - 8, &e.fields);
  }

  void Reply(const uint8_t* f, size_t n, int64_t t) {
    if (!loopback_.empty()) {
      Echo(f, n, t);
      return;
    }
    MessageBuffer reply;
    if (!reply.SetFrame(f, static_cast<uint32_t>(n))) {
      Emit(Kind::kError, t, "reply", "frame too long")
          .fields.emplace_back("bytes", std::to_string(n));
      return;
    }
    const uint16_t own =
        static_cast<uint16_t>(ReplyNumber(reply.MessageNumber()));
    const uint16_t command =
        pending_ >= 0 ? static_cast<uint16_t>(pending_) : own;
    pending_ = -1;
    reply.expectedNumber = ReplyNumber(command);
    const MessageBuffer::Verdict verdict = reply.VerifyReply();
    const std::string name = CommandName(command);
    if (reply.negative()) {
      errors_.RecordInstrumentError(reply.nakNumber(), reply.NakDetails(),
                                    reply.NakDetailCount());
      nakCode_ = errors_.code();
      nakText_ = Utf8FromUtf16(errors_.message());
      DecodedEvent& e = Emit(Kind::kReply, t, name, "NAK");
      e.fields.emplace_back("error", std::to_string(reply.nakNumber()));
      e.fields.emplace_back("code", std::to_string(nakCode_));
      e.fields.emplace_back("text", nakText_);
      if (reply.NakDetailCount() > 0) {
        e.fields.emplace_back("details",
                              Hex(reply.NakDetails(), reply.NakDetailCount()));
      }
      return;
    }
    if (verdict.result != 0) {
      const int32_t code = LinkErrorCode(verdict.result);
      DecodedEvent& e = Emit(Kind::kError, t, name, "bad reply");
      e.fields.emplace_back("code", std::to_string(code));
      e.fields.emplace_back("text", CodeText(code));
      if (!verdict.traceLine.empty()) {
        e.fields.emplace_back("check", verdict.traceLine);
      }
      e.fields.emplace_back("frame", Hex(f, n));
      return;
    }
    DecodedEvent& e = Emit(Kind::kReply, t, name, "ACK");
    // A bare ACK leaves the cursor on itself: no data.
    const bool bare = reply.cursor() == 6;
    decoder::DescribeReply(
        command, reply.Payload(),
        bare ? 0 : static_cast<size_t>(reply.PayloadRemaining()), &e.fields);
  }

  // The loopback test reads the echo as text up to its first zero byte.
  void Echo(const uint8_t* f, size_t n, int64_t t) {
    std::string text(f, f + n);
    text.resize(std::min(text.find('\0'), text.size()));
    if (text == loopback_) {
      Emit(Kind::kReply, t, "Loopback", "").fields.emplace_back("text", text);
    } else {
      const int32_t code = LinkErrorCode(kLinkLoopbackMismatch);
      DecodedEvent& e = Emit(Kind::kError, t, "Loopback", "bad reply");
      e.fields.emplace_back("code", std::to_string(code));
      e.fields.emplace_back("text", CodeText(code));
      e.fields.emplace_back("frame", Hex(f, n));
    }
    loopback_.clear();
  }

  static uint16_t Checksum(const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += p[i];
    return static_cast<uint16_t>(sum);
  }

  DecodedSession* out_;
  ErrorState errors_;
  bool started_ = false;
  bool versioned_ = false;
  uint64_t startUs_ = 0;
  LineDecoder host_;  // a frame under way in each direction
  LineDecoder instrument_;
  int32_t pending_ = -1;  // the request awaiting its reply
  std::string loopback_;  // the loopback text awaiting its echo
  int32_t nakCode_ = kNoError;
  std::string nakText_;
};

bool Walk(const Recording& recording, int language, DecodedSession* out,
          std::string* error) {
  *out = DecodedSession{};
  out->application = recording.application;
  out->portName = recording.portName;
  SessionWalker walker(language, out);
  for (const RecordingEvent& e : recording.events) {
    if (!walker.Add(e, error)) return false;
  }
  return true;
}

bool Plain(const std::string& v) {
  if (v.empty()) return false;
  for (const char c : v) {
    if (c == ' ' || c == '"' || c == '\\' || c == '=') return false;
  }
  return true;
}

std::string Quoted(const std::string& v) {
  std::string s = "\"";
  for (const char c : v) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

}  // namespace

bool DecodeSessionBytes(const uint8_t* data, size_t size, int language,
                        DecodedSession* out, std::string* error) {
  Recording recording;
  return ParseRecording(data, size, &recording, error) &&
         Walk(recording, language, out, error);
}

bool DecodeSessionFile(const std::string& path, int language,
                       DecodedSession* out, std::string* error) {
  Recording recording;
  return LoadRecording(path, &recording, error) &&
         Walk(recording, language, out, error);
}

std::string FormatDecodedEvent(const DecodedEvent& event) {
  static const char* const kArrows[] = {"->", "<-", "--", "!!"};
  char head[48];
  std::snprintf(head, sizeof head, "%10.3f %s ",
                static_cast<double>(event.timeUs) / 1000.0,
                kArrows[static_cast<int>(event.kind)]);
  std::string line = head + event.name;
  for (const auto& [name, value] : event.fields) {
    line += ' ';
    if (name.empty()) {
      line += value;
    } else {
      line += name + "=" + (Plain(value) ? value : Quoted(value));
    }
  }
  return line;
}

}  // namespace q7k
