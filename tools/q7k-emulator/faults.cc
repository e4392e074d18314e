#include "faults.h"

#include <algorithm>
#include <cstdlib>

#include "link/line_codec.h"
#include "link/message_buffer.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kMinOversizeFrame = kFrameCapacity + 1;
// Noise that can never start a frame: it holds no DLE.
constexpr uint8_t kNoisePattern[] = {0x55, 0xAA, 0x00, 0xFF,
                                     0x03, 0x02, 0x7E, 0x20};

struct KindName {
  FaultKind kind;
  const char* name;
};
constexpr KindName kKinds[] = {
    {FaultKind::kChecksum, "checksum"}, {FaultKind::kNumber, "number"},
    {FaultKind::kLength, "length"},     {FaultKind::kAckNak, "acknak"},
    {FaultKind::kSilence, "silence"},   {FaultKind::kSplit, "split"},
    {FaultKind::kNoise, "noise"},       {FaultKind::kOversize, "oversize"},
    {FaultKind::kNak, "nak"},           {FaultKind::kClose, "close"},
};

std::vector<std::string> SplitOn(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// A whole decimal or 0x-prefixed number within [lo, hi].
bool ParseNumber(const std::string& s, long lo, long hi, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseHexBytes(const std::string& s, std::vector<uint8_t>* out) {
  if (s.size() % 2 != 0) return false;
  for (size_t i = 0; i < s.size(); i += 2) {
    long v;
    if (!ParseNumber("0x" + s.substr(i, 2), 0, 255, &v)) return false;
    out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

bool ParseArgs(const std::string& args, FaultRule* rule) {
  std::vector<std::string> a = SplitOn(args, ',');
  long v = 0;
  switch (rule->kind) {
    case FaultKind::kSplit:
      if (a.size() > 2 || !ParseNumber(a[0], 1, 4096, &v)) return false;
      rule->splitChunk = static_cast<size_t>(v);
      if (a.size() == 2) {
        if (!ParseNumber(a[1], 0, 10000, &v)) return false;
        rule->splitDelayMs = static_cast<uint32_t>(v);
      }
      return true;
    case FaultKind::kNoise:
      if (a.size() != 1 || !ParseNumber(a[0], 1, 4096, &v)) return false;
      rule->noiseBytes = static_cast<size_t>(v);
      return true;
    case FaultKind::kOversize:
      if (a.size() != 1 || !ParseNumber(a[0], kMinOversizeFrame, 1022, &v)) {
        return false;
      }
      rule->oversizeFrame = static_cast<size_t>(v);
      return true;
    case FaultKind::kNak:
      if (a.size() > 2 || !ParseNumber(a[0], -32768, 32767, &v)) return false;
      rule->nakNumber = static_cast<int16_t>(v);
      return a.size() == 1 || ParseHexBytes(a[1], &rule->nakDetails);
    default:
      return false;  // the other kinds take no arguments
  }
}

bool ParseWhen(const std::string& when, FaultRule* rule) {
  long v = 0;
  if (when == "once") {
    rule->when = FaultRule::When::kOnce;
    return true;
  }
  if (when.rfind("every=", 0) == 0) {
    if (!ParseNumber(when.substr(6), 1, 1000000, &v)) return false;
    rule->when = FaultRule::When::kEveryNth;
    rule->every = static_cast<uint32_t>(v);
    return true;
  }
  if (when.rfind("cmd=", 0) == 0) {
    if (!ParseNumber(when.substr(4), 0, 0xFFFF, &v)) return false;
    rule->oneCommand = true;
    rule->command = static_cast<uint16_t>(v);
    return true;
  }
  return false;
}

void PutWord(std::vector<uint8_t>* frame, size_t at, uint16_t v) {
  (*frame)[at] = static_cast<uint8_t>(v);
  (*frame)[at + 1] = static_cast<uint8_t>(v >> 8);
}

uint16_t GetWord(const std::vector<uint8_t>& frame, size_t at) {
  return static_cast<uint16_t>(frame[at] | (frame[at + 1] << 8));
}

void Reseal(std::vector<uint8_t>* frame) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 2 < frame->size(); ++i) sum += (*frame)[i];
  PutWord(frame, frame->size() - 2, static_cast<uint16_t>(sum));
}

bool Has(const std::vector<FaultRule>& fired, FaultKind kind) {
  return std::any_of(fired.begin(), fired.end(),
                     [kind](const FaultRule& r) { return r.kind == kind; });
}

const FaultRule* Find(const std::vector<FaultRule>& fired, FaultKind kind) {
  for (const FaultRule& r : fired) {
    if (r.kind == kind) return &r;
  }
  return nullptr;
}

}  // namespace

const char* FaultName(FaultKind kind) {
  for (const KindName& k : kKinds) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

bool ParseFaultRule(const std::string& text, FaultRule* rule,
                    std::string* error) {
  FaultRule r;
  std::vector<std::string> parts = SplitOn(text, '@');
  const std::string head = parts[0];
  const size_t eq = head.find('=');
  const std::string name = head.substr(0, eq);
  auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                           [&](const KindName& k) { return name == k.name; });
  if (kind == std::end(kKinds)) {
    *error = "unknown fault kind '" + name + "' in '" + text + "'";
    return false;
  }
  r.kind = kind->kind;
  if (eq != std::string::npos && !ParseArgs(head.substr(eq + 1), &r)) {
    *error = "bad arguments for fault '" + name + "' in '" + text + "'";
    return false;
  }
  if (r.kind == FaultKind::kNak && eq == std::string::npos) {
    *error = "fault 'nak' needs an error number, e.g. nak=5";
    return false;
  }
  // A second timing or command would silently replace the first.
  bool timed = false, forCommand = false;
  for (size_t i = 1; i < parts.size(); ++i) {
    bool& given = parts[i].rfind("cmd=", 0) == 0 ? forCommand : timed;
    if (given) {
      *error = "'" + parts[i] + "' in '" + text +
               "': one of once and every=N, and one cmd=CODE at most";
      return false;
    }
    given = true;
    if (!ParseWhen(parts[i], &r)) {
      *error = "bad trigger '" + parts[i] + "' in '" + text +
               "' (once, every=N, cmd=CODE)";
      return false;
    }
  }
  *rule = r;
  return true;
}

void FaultPlan::Add(const FaultRule& rule) { entries_.push_back({rule, 0}); }

void FaultPlan::Clear() { entries_.clear(); }

std::vector<FaultRule> FaultPlan::Fire(uint16_t command) {
  std::vector<FaultRule> fired;
  for (auto it = entries_.begin(); it != entries_.end();) {
    const FaultRule& rule = it->rule;
    if (rule.oneCommand && rule.command != command) {
      ++it;
      continue;
    }
    ++it->seen;
    bool fire = true;
    if (rule.when == FaultRule::When::kEveryNth) {
      fire = it->seen % rule.every == 0;
    }
    if (fire) fired.push_back(rule);
    if (fire && rule.when == FaultRule::When::kOnce) {
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  return fired;
}

Transmission Shape(uint16_t command, const Reply& reply,
                   const std::vector<FaultRule>& fired) {
  Transmission tx;
  for (const FaultRule& r : fired) tx.faults.push_back(FaultName(r.kind));

  std::vector<uint8_t> payload = reply.payload;
  if (const FaultRule* nak = Find(fired, FaultKind::kNak)) {
    payload = Reply::Nak(nak->nakNumber, nak->nakDetails).payload;
  }
  if (Has(fired, FaultKind::kAckNak)) {
    if (payload.empty()) payload.push_back(0);
    payload[0] = 0x00;
  }
  if (const FaultRule* big = Find(fired, FaultKind::kOversize)) {
    const size_t frame = std::max(big->oversizeFrame, kMinOversizeFrame);
    if (payload.size() + kFrameOverhead < frame) {
      payload.resize(frame - kFrameOverhead, 0);
    }
  }

  std::vector<uint8_t> frame = BuildReplyFrame(command, payload);
  if (Has(fired, FaultKind::kNumber)) {
    PutWord(&frame, 2, static_cast<uint16_t>(GetWord(frame, 2) + 1));
    Reseal(&frame);
  }
  if (Has(fired, FaultKind::kLength)) {
    PutWord(&frame, 4, static_cast<uint16_t>(GetWord(frame, 4) + 1));
    Reseal(&frame);
  }
  if (Has(fired, FaultKind::kChecksum)) {
    const size_t at = frame.size() - 2;
    PutWord(&frame, at, static_cast<uint16_t>(GetWord(frame, at) + 1));
  }

  if (const FaultRule* noise = Find(fired, FaultKind::kNoise)) {
    for (size_t i = 0; i < noise->noiseBytes; ++i) {
      tx.line.push_back(kNoisePattern[i % sizeof kNoisePattern]);
    }
  }
  std::vector<uint8_t> encoded(MaxEncodedSize(frame.size()));
  encoded.resize(EncodeLine(frame.data(), frame.size(), encoded.data()));
  tx.line.insert(tx.line.end(), encoded.begin(), encoded.end());

  if (const FaultRule* split = Find(fired, FaultKind::kSplit)) {
    tx.chunk = split->splitChunk;
    tx.chunkDelayMs = split->splitDelayMs;
  }
  tx.silent = Has(fired, FaultKind::kSilence);
  if (Has(fired, FaultKind::kClose)) {
    tx.close = true;
    tx.closeAfter = tx.line.size() / 2;
  }
  return tx;
}

}  // namespace emu
}  // namespace q7k
