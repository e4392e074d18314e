#include "eeprom/safe_update.h"

#include "eeprom/board_reads.h"

namespace q7k {

int WordsIn(SpanKind kind) {
  switch (kind) {
    case SpanKind::kInt:
      return 1;
    case SpanKind::kLong:
    case SpanKind::kFloat:
      return 2;
    case SpanKind::kBlock:
    case SpanKind::kFloat16:
      return kBlockWords;
  }
  return 0;
}

bool SafeUpdater::ReadSpan(const Span& span, uint16_t* out) {
  const int16_t at = span.location;
  // Zero-filled, as the simulated block reads return no data.
  int16_t words[kBlockWords] = {};
  float floats[kBlockFloats] = {};
  int16_t sum = 0;
  int32_t value = 0;
  float f = 0.0f;
  HRESULT hr = E_FAIL;
  switch (span.kind) {
    case SpanKind::kInt:
      hr = eeprom_->ReadInt(slot_, subslot_, at, &words[0]);
      out[0] = static_cast<uint16_t>(words[0]);
      break;
    case SpanKind::kLong:
      hr = eeprom_->ReadLong(slot_, subslot_, at, &value);
      out[0] = static_cast<uint16_t>(value);
      out[1] = static_cast<uint16_t>(static_cast<uint32_t>(value) >> 16);
      break;
    case SpanKind::kFloat:
      hr = eeprom_->ReadFloat(slot_, subslot_, at, &f);
      SplitFloat(f, &out[0], &out[1]);
      break;
    case SpanKind::kBlock:
      hr = eeprom_->Read32(slot_, subslot_, at, words, &sum);
      for (int i = 0; i < kBlockWords; ++i) {
        out[i] = static_cast<uint16_t>(words[i]);
      }
      break;
    case SpanKind::kFloat16:
      hr = eeprom_->ReadFloat16(slot_, subslot_, at, floats);
      for (int i = 0; i < kBlockFloats; ++i) {
        SplitFloat(floats[i], &out[2 * i], &out[2 * i + 1]);
      }
      break;
  }
  return SUCCEEDED(hr);
}

bool SafeUpdater::WriteSpan(const Span& span, const uint16_t* in) {
  const int16_t at = span.location;
  int16_t words[kBlockWords];
  float floats[kBlockFloats];
  HRESULT hr = E_FAIL;
  switch (span.kind) {
    case SpanKind::kInt:
      hr = eeprom_->WriteInt(slot_, subslot_, at, static_cast<int16_t>(in[0]));
      break;
    case SpanKind::kLong:
      hr = eeprom_->WriteLong(slot_, subslot_, at,
                              static_cast<int32_t>(JoinWords(in[0], in[1])));
      break;
    case SpanKind::kFloat:
      hr = eeprom_->WriteFloat(slot_, subslot_, at, JoinFloat(in[0], in[1]));
      break;
    case SpanKind::kBlock:
      for (int i = 0; i < kBlockWords; ++i) {
        words[i] = static_cast<int16_t>(in[i]);
      }
      hr = eeprom_->Write32(slot_, subslot_, at, words);
      break;
    case SpanKind::kFloat16:
      for (int i = 0; i < kBlockFloats; ++i) {
        floats[i] = JoinFloat(in[2 * i], in[2 * i + 1]);
      }
      hr = eeprom_->WriteFloat16(slot_, subslot_, at, floats);
      break;
  }
  return SUCCEEDED(hr);
}

bool SafeUpdater::ReadAll(const std::vector<Span>& spans,
                          std::vector<uint16_t>* out) {
  size_t at = 0;
  for (const Span& span : spans) {
    if (!ReadSpan(span, out->data() + at)) return false;
    at += static_cast<size_t>(WordsIn(span.kind));
  }
  return true;
}

bool SafeUpdater::ReadWord(int16_t location, uint16_t* out) {
  int16_t v = 0;
  const bool ok = SUCCEEDED(eeprom_->ReadInt(slot_, subslot_, location, &v));
  *out = static_cast<uint16_t>(v);
  return ok;
}

bool SafeUpdater::VerificationFailed() {
  errors_->RecordEepromError(kEepromSafeWriteFailed);
  return false;
}

bool SafeUpdater::Write(const std::vector<Span>& spans,
                        const std::vector<uint16_t>& words) {
  std::vector<uint16_t> old(words.size()), back(words.size());
  if (!ReadAll(spans, &old)) return false;
  size_t at = 0;
  for (const Span& span : spans) {
    if (!WriteSpan(span, words.data() + at)) return false;
    at += static_cast<size_t>(WordsIn(span.kind));
  }
  if (!ReadAll(spans, &back)) return false;
  // Read after the data went in, so a span covering location 1 or 255 is
  // accounted for.
  uint16_t count = 0, checksum = 0;
  if (!ReadWord(board::kWriteCount, &count) ||
      !ReadWord(board::kChecksumWord, &checksum)) {
    return false;
  }
  for (size_t j = 0; j < words.size(); ++j) {
    if (back[j] != words[j]) return VerificationFailed();
    ++count;
    checksum = static_cast<uint16_t>(checksum + old[j] - back[j] - 1);
  }
  return Commit(count, checksum);
}

bool SafeUpdater::WriteVerified(int16_t location, uint16_t value) {
  if (FAILED(eeprom_->WriteInt(slot_, subslot_, location,
                               static_cast<int16_t>(value)))) {
    return false;
  }
  uint16_t back = 0;
  if (!ReadWord(location, &back)) return false;
  return back == value || VerificationFailed();
}

bool SafeUpdater::Commit(uint16_t writeCount, uint16_t checksum) {
  if (!WriteVerified(board::kWriteCount,
                     static_cast<uint16_t>(writeCount + 2)) ||
      !WriteVerified(board::kChecksumWord,
                     static_cast<uint16_t>(checksum - 2))) {
    return false;
  }
  int16_t sum = 0;
  if (FAILED(eeprom_->CalculateChecksum(slot_, subslot_, &sum))) return false;
  return sum == 0 || VerificationFailed();
}

std::vector<Span> BoardHeaderSpans() {
  return {{SpanKind::kBlock, 2},
          {SpanKind::kLong, 34},
          {SpanKind::kLong, 40},
          {SpanKind::kLong, 42},
          {SpanKind::kInt, 50}};
}

std::vector<Span> CalHeaderSpans(int16_t base) {
  std::vector<Span> spans;
  for (int16_t k = 0; k < board::kBlockHeaderWords; k += 2) {
    spans.push_back({SpanKind::kLong, static_cast<int16_t>(base + k)});
  }
  return spans;
}

std::vector<uint16_t> WordsAt(const EepromImage& image,
                              const std::vector<Span>& spans) {
  std::vector<uint16_t> words;
  for (const Span& span : spans) {
    for (int i = 0; i < WordsIn(span.kind); ++i) {
      words.push_back(image.words()[static_cast<size_t>(span.location + i)]);
    }
  }
  return words;
}

}  // namespace q7k
