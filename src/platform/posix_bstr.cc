// Counted UTF-16 strings where the platform has none: a 32-bit byte length
// in front of the characters and a zero character behind them, so a BSTR
// also reads as a C string.
#include <cstdlib>
#include <cstring>
#include <new>

#include "q7kcomm/com.h"

namespace q7k {
namespace {

constexpr uint32_t kMaxChars = 0x3FFFFFF0u;

uint32_t* Header(BSTR s) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) -
                                     sizeof(uint32_t));
}

size_t Utf16Length(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace

BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
  if (length > kMaxChars) return nullptr;
  const size_t bytes = sizeof(uint32_t) + (size_t{length} + 1) * 2;
  char* block = static_cast<char*>(std::malloc(bytes));
  if (block == nullptr) return nullptr;
  const uint32_t byte_length = length * 2;
  std::memcpy(block, &byte_length, sizeof byte_length);
  BSTR s = reinterpret_cast<BSTR>(block + sizeof(uint32_t));
  if (text != nullptr) {
    std::memcpy(s, text, size_t{length} * 2);
  } else {
    std::memset(s, 0, size_t{length} * 2);
  }
  s[length] = 0;
  return s;
}

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  const size_t n = Utf16Length(text);
  if (n > kMaxChars) return nullptr;
  return SysAllocStringLen(text, static_cast<uint32_t>(n));
}

void SysFreeString(BSTR s) {
  if (s != nullptr) std::free(Header(s));
}

uint32_t SysStringLen(BSTR s) {
  if (s == nullptr) return 0;
  uint32_t byte_length;
  std::memcpy(&byte_length, Header(s), sizeof byte_length);
  return byte_length / 2;
}

}  // namespace q7k
