#include "link/recording_format.h"

#include <cstdio>

#include "link/le_bytes.h"
#include "link/recording_file.h"

namespace q7k {
namespace {

constexpr uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescription = 1;
constexpr uint32_t kEnhancedPacket = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kOptShbUserAppl = 4;
constexpr uint16_t kOptIfName = 2;
constexpr uint16_t kOptIfDescription = 3;
constexpr uint16_t kOptIfTsResol = 9;
constexpr uint16_t kOptEpbFlags = 2;
constexpr size_t kEventRecordSize = 20;

void Pad4(std::vector<uint8_t>* out) {
  while (out->size() % 4 != 0) out->push_back(0);
}

void PutOption(uint16_t code, const void* value, size_t length,
               std::vector<uint8_t>* out) {
  ByteWriter w(out);
  w.U16(code);
  w.U16(static_cast<uint16_t>(length));
  const auto* p = static_cast<const uint8_t*>(value);
  out->insert(out->end(), p, p + length);
  Pad4(out);
}

void PutEndOfOptions(std::vector<uint8_t>* out) {
  ByteWriter w(out);
  w.U16(kOptEnd);
  w.U16(0);
}

// Writes the type and a length placeholder; FinishBlock fills the length in
// and repeats it at the end, as every pcapng block does.
size_t BeginBlock(uint32_t type, std::vector<uint8_t>* out) {
  const size_t start = out->size();
  ByteWriter w(out);
  w.U32(type);
  w.U32(0);
  return start;
}

void FinishBlock(size_t start, std::vector<uint8_t>* out) {
  Pad4(out);
  const uint32_t length = static_cast<uint32_t>(out->size() - start + 4);
  ByteWriter(out).U32(length);
  for (int i = 0; i < 4; ++i) {
    (*out)[start + 4 + i] = static_cast<uint8_t>(length >> (8 * i));
  }
}

void AppendInterface(uint32_t linkType, const std::string& name,
                     const std::string& description,
                     std::vector<uint8_t>* out) {
  const size_t start = BeginBlock(kInterfaceDescription, out);
  ByteWriter w(out);
  w.U16(static_cast<uint16_t>(linkType));
  w.U16(0);  // reserved
  w.U32(0);  // no snapshot limit
  PutOption(kOptIfName, name.data(), name.size(), out);
  PutOption(kOptIfDescription, description.data(), description.size(), out);
  const uint8_t microseconds = 6;
  PutOption(kOptIfTsResol, &microseconds, 1, out);
  PutEndOfOptions(out);
  FinishBlock(start, out);
}

size_t BeginPacket(uint32_t interface, uint64_t timeUs, size_t count,
                   std::vector<uint8_t>* out) {
  const size_t start = BeginBlock(kEnhancedPacket, out);
  ByteWriter w(out);
  w.U32(interface);
  w.U32(static_cast<uint32_t>(timeUs >> 32));
  w.U32(static_cast<uint32_t>(timeUs));
  w.U32(static_cast<uint32_t>(count));
  w.U32(static_cast<uint32_t>(count));
  return start;
}

// Options of one block: code, value. Returns false when they overrun.
template <typename Visit>
bool ForEachOption(const uint8_t* p, size_t size, Visit visit) {
  size_t at = 0;
  while (at + 4 <= size) {
    const uint16_t code = LoadU16(p + at);
    const uint16_t length = LoadU16(p + at + 2);
    at += 4;
    if (code == kOptEnd) return true;
    if (length > size - at) return false;
    visit(code, p + at, length);
    at += (length + 3u) & ~3u;
  }
  return at <= size;
}

struct Reader {
  const uint8_t* data;
  size_t size;
  Recording* out;
  std::string* error;
  std::vector<uint32_t> linkTypes;

  bool Fail(const std::string& why, size_t at) {
    *error = why + " at byte " + std::to_string(at);
    return false;
  }

  bool SectionHeader(const uint8_t* body, size_t length, size_t at) {
    if (length < 16 || LoadU32(body) != kByteOrderMagic) {
      return Fail("not a little-endian pcapng section", at);
    }
    if (LoadU16(body + 4) != 1) return Fail("unknown pcapng major version", at);
    linkTypes.clear();
    return ForEachOption(body + 16, length - 16,
                         [&](uint16_t code, const uint8_t* v, uint16_t n) {
                           if (code == kOptShbUserAppl) {
                             out->application.assign(v, v + n);
                           }
                         }) ||
           Fail("malformed section options", at);
  }

  bool Interface(const uint8_t* body, size_t length, size_t at) {
    if (length < 8) return Fail("short interface description", at);
    const bool first = linkTypes.empty();
    linkTypes.push_back(LoadU16(body));
    return ForEachOption(body + 8, length - 8,
                         [&](uint16_t code, const uint8_t* v, uint16_t n) {
                           if (first && code == kOptIfName) {
                             out->portName.assign(v, v + n);
                           }
                         }) ||
           Fail("malformed interface options", at);
  }

  bool Packet(const uint8_t* body, size_t length, size_t at) {
    if (length < 20) return Fail("short packet", at);
    const uint32_t interface = LoadU32(body);
    if (interface >= linkTypes.size()) {
      return Fail("packet on an undeclared interface", at);
    }
    const uint32_t captured = LoadU32(body + 12);
    if (captured > length - 20) return Fail("packet longer than its block", at);
    const uint8_t* bytes = body + 20;
    const size_t optionsAt = 20 + ((captured + 3u) & ~3u);
    if (optionsAt > length) return Fail("packet longer than its block", at);

    RecordingEvent event;
    event.timeUs = (uint64_t{LoadU32(body + 4)} << 32) | LoadU32(body + 8);
    if (linkTypes[interface] == kRecordingLinkTypeLine) {
      uint32_t flags = 0;
      if (!ForEachOption(body + optionsAt, length - optionsAt,
                         [&](uint16_t code, const uint8_t* v, uint16_t n) {
                           if (code == kOptEpbFlags && n == 4) flags = LoadU32(v);
                         })) {
        return Fail("malformed packet options", at);
      }
      const uint32_t direction = flags & 3;
      if (direction != 1 && direction != 2) {
        return Fail("line packet without a direction", at);
      }
      event.direction = static_cast<RecordingDirection>(direction);
      event.bytes.assign(bytes, bytes + captured);
    } else if (linkTypes[interface] == kRecordingLinkTypeEvents) {
      if (captured < kEventRecordSize) return Fail("short event record", at);
      if (bytes[0] > static_cast<uint8_t>(RecordingEventKind::kExchangeFailed)) {
        return Fail("unknown event kind " + std::to_string(bytes[0]), at);
      }
      event.kind = static_cast<RecordingEventKind>(bytes[0]);
      event.command = LoadU16(bytes + 2);
      event.number = LoadU32(bytes + 4);
      event.code = LoadI32(bytes + 8);
      event.baud = LoadU32(bytes + 12);
      event.dataBits = bytes[16];
      event.parity = static_cast<char>(bytes[17]);
      event.stopBits = bytes[18];
      event.lineFlags = bytes[19];
      event.text.assign(bytes + kEventRecordSize, bytes + captured);
    } else {
      return true;  // another tool's interface: not ours to read
    }
    out->events.push_back(std::move(event));
    return true;
  }

  bool Run() {
    size_t at = 0;
    bool sawSection = false;
    while (at < size) {
      if (size - at < 12) return true;  // cut short: keep what was read
      const uint32_t type = LoadU32(data + at);
      const uint32_t length = LoadU32(data + at + 4);
      if (length < 12 || length % 4 != 0) return Fail("bad block length", at);
      if (length > size - at) return true;  // cut short
      if (LoadU32(data + at + length - 4) != length) {
        return Fail("block lengths disagree", at);
      }
      const uint8_t* body = data + at + 8;
      const size_t bodyLength = length - 12;
      bool ok = true;
      if (type == kSectionHeader) {
        ok = SectionHeader(body, bodyLength, at);
        sawSection = true;
      } else if (!sawSection) {
        return Fail("no pcapng section header", at);
      } else if (type == kInterfaceDescription) {
        ok = Interface(body, bodyLength, at);
      } else if (type == kEnhancedPacket) {
        ok = Packet(body, bodyLength, at);
      }
      if (!ok) return false;
      at += length;
    }
    if (!sawSection) return Fail("empty file", 0);
    return true;
  }
};

}  // namespace

void AppendRecordingHeader(const std::string& application,
                           const std::string& portName,
                           std::vector<uint8_t>* out) {
  const size_t start = BeginBlock(kSectionHeader, out);
  ByteWriter w(out);
  w.U32(kByteOrderMagic);
  w.U16(1);  // pcapng 1.0
  w.U16(0);
  w.U32(0xFFFFFFFF);  // section length not given
  w.U32(0xFFFFFFFF);
  PutOption(kOptShbUserAppl, application.data(), application.size(), out);
  PutEndOfOptions(out);
  FinishBlock(start, out);
  AppendInterface(kRecordingLinkTypeLine, portName, "Q7300 serial line", out);
  AppendInterface(kRecordingLinkTypeEvents, "events", "Q7300 port events",
                  out);
}

void AppendRecordingData(uint64_t timeUs, RecordingDirection direction,
                         const uint8_t* bytes, size_t count,
                         std::vector<uint8_t>* out) {
  const size_t start = BeginPacket(kRecordingLineInterface, timeUs, count, out);
  out->insert(out->end(), bytes, bytes + count);
  Pad4(out);
  ByteWriter w(out);
  w.U16(kOptEpbFlags);
  w.U16(4);
  w.U32(static_cast<uint32_t>(direction));  // 1 inbound, 2 outbound
  PutEndOfOptions(out);
  FinishBlock(start, out);
}

void AppendRecordingEvent(const RecordingEvent& event,
                          std::vector<uint8_t>* out) {
  if (event.kind == RecordingEventKind::kData) {
    AppendRecordingData(event.timeUs, event.direction, event.bytes.data(),
                        event.bytes.size(), out);
    return;
  }
  const size_t count = kEventRecordSize + event.text.size();
  const size_t start =
      BeginPacket(kRecordingEventInterface, event.timeUs, count, out);
  ByteWriter w(out);
  w.U8(static_cast<uint8_t>(event.kind));
  w.U8(0);
  w.U16(event.command);
  w.U32(event.number);
  w.U32(static_cast<uint32_t>(event.code));
  w.U32(event.baud);
  w.U8(event.dataBits);
  w.U8(static_cast<uint8_t>(event.parity));
  w.U8(event.stopBits);
  w.U8(event.lineFlags);
  out->insert(out->end(), event.text.begin(), event.text.end());
  Pad4(out);
  PutEndOfOptions(out);
  FinishBlock(start, out);
}

bool ParseRecording(const uint8_t* data, size_t size, Recording* out,
                    std::string* error) {
  *out = Recording{};
  Reader reader{data, size, out, error, {}};
  return reader.Run();
}

bool LoadRecording(const std::string& path, Recording* out,
                   std::string* error) {
  std::FILE* file = OpenRecordingFile(path, "rb");
  if (file == nullptr) {
    *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[16384];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + n);
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) {
    *error = "cannot read " + path;
    return false;
  }
  return ParseRecording(bytes.data(), bytes.size(), out, error);
}

}  // namespace q7k
