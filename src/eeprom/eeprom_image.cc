#include "eeprom/eeprom_image.h"

#include <cstring>

namespace q7k {
namespace {

constexpr int kBytes = 2 * board::kWords;
constexpr int kMaxCharsRead = 63;
constexpr int kDateChars = 8;
constexpr int kValidBitWords = 6;

// True when n items of size from i stay inside an image of limit items.
bool Inside(int i, int n, int limit) {
  return i >= 0 && n >= 0 && i <= limit - n;
}

}  // namespace

void EepromImage::Clear() {
  words_.fill(0);
  checksum_ = 0;
}

uint8_t EepromImage::Byte(int b) const {
  const uint16_t w = words_[b / 2];
  return static_cast<uint8_t>(b % 2 == 0 ? w : w >> 8);
}

void EepromImage::SetByte(int b, uint8_t c) {
  uint16_t& w = words_[b / 2];
  w = b % 2 == 0 ? static_cast<uint16_t>((w & 0xFF00) | c)
                 : static_cast<uint16_t>((w & 0x00FF) | (c << 8));
}

bool EepromImage::GetInt(int i, int16_t* out) const {
  if (!Inside(i, 1, board::kWords)) return false;
  *out = static_cast<int16_t>(words_[i]);
  return true;
}

bool EepromImage::PutInt(int i, int16_t v) {
  if (!Inside(i, 1, board::kWords)) return false;
  words_[i] = static_cast<uint16_t>(v);
  return true;
}

bool EepromImage::GetLong(int i, int32_t* out) const {
  if (!Inside(i, 2, board::kWords)) return false;
  *out = static_cast<int32_t>(JoinWords(words_[i], words_[i + 1]));
  return true;
}

bool EepromImage::PutLong(int i, int32_t v) {
  if (!Inside(i, 2, board::kWords)) return false;
  words_[i] = static_cast<uint16_t>(v);
  words_[i + 1] = static_cast<uint16_t>(static_cast<uint32_t>(v) >> 16);
  return true;
}

bool EepromImage::GetFloat(int i, float* out) const {
  if (!Inside(i, 2, board::kWords)) return false;
  *out = JoinFloat(words_[i], words_[i + 1]);
  return true;
}

bool EepromImage::PutFloat(int i, float v) {
  if (!Inside(i, 2, board::kWords)) return false;
  SplitFloat(v, &words_[i], &words_[i + 1]);
  return true;
}

bool EepromImage::GetChars(int i, int nMax, std::string* out) const {
  if (nMax > kMaxCharsRead || i < 0 || !Inside(2 * i, nMax, kBytes)) {
    return false;
  }
  out->clear();
  for (int b = 2 * i; b < 2 * i + nMax && Byte(b) != 0; ++b) {
    out->push_back(static_cast<char>(Byte(b)));
  }
  return true;
}

bool EepromImage::PutChars(int i, int nMax, const std::string& text) {
  if (text.empty() || i < 0 || !Inside(2 * i, nMax, kBytes)) return false;
  for (int k = 0; k < nMax; ++k) {
    const size_t at = static_cast<size_t>(k);
    SetByte(2 * i + k, at < text.size() ? static_cast<uint8_t>(text[at]) : 0);
  }
  return true;
}

bool EepromImage::GetDate(int i, std::string* out) const {
  if (!Inside(i, 3, board::kWords)) return false;
  const char date[] = {char(Byte(2 * i)),     char(Byte(2 * i + 1)), '/',
                       char(Byte(2 * i + 2)), char(Byte(2 * i + 3)), '/',
                       char(Byte(2 * i + 4)), char(Byte(2 * i + 5)), 0};
  *out = date;
  return true;
}

bool EepromImage::PutDate(int i, const std::string& text) {
  if (!Inside(i, 3, board::kWords) || text.size() < kDateChars) return false;
  for (int k = 0; k < 3; ++k) words_[i + k] = CharsWord(text.substr(3 * k, 2));
  return true;
}

bool EepromImage::ValidBits(int i, int16_t* out) const {
  if (!Inside(i, kValidBitWords, board::kWords)) return false;
  int ones = 0;
  for (int k = 0; k < kValidBitWords; ++k) ones += OnesIn(words_[i + k]);
  *out = static_cast<int16_t>(ones);
  return true;
}

uint16_t WordSum(const EepromImage::Words& words) {
  uint16_t sum = 0;
  for (uint16_t w : words) sum = static_cast<uint16_t>(sum + w);
  return sum;
}

int OnesIn(uint16_t word) {
  int ones = 0;
  for (; word != 0; word &= static_cast<uint16_t>(word - 1)) ++ones;
  return ones;
}

std::string WordChars(uint16_t word) {
  std::string s;
  const char low = static_cast<char>(word & 0xFF);
  const char high = static_cast<char>(word >> 8);
  if (low != 0) {
    s.push_back(low);
    if (high != 0) s.push_back(high);
  }
  return s;
}

uint16_t CharsWord(const std::string& text) {
  const uint8_t low = text.size() > 0 ? static_cast<uint8_t>(text[0]) : 0;
  const uint8_t high =
      low != 0 && text.size() > 1 ? static_cast<uint8_t>(text[1]) : 0;
  return static_cast<uint16_t>(low | (high << 8));
}

void SplitFloat(float value, uint16_t* low, uint16_t* high) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  *low = static_cast<uint16_t>(bits);
  *high = static_cast<uint16_t>(bits >> 16);
}

uint32_t JoinWords(uint16_t low, uint16_t high) {
  return low | (uint32_t{high} << 16);
}

float JoinFloat(uint16_t low, uint16_t high) {
  const uint32_t bits = JoinWords(low, high);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace q7k
