// The BSTR wrapper and the UTF-8 conversions, over the BSTR functions of
// the platform (or of posix_bstr.cc).
#include <cstring>

#include "platform/bstr_text.h"
#include "platform/utf8_text.h"
#include "q7kcomm/com.h"

namespace q7k {

std::u16string BstrText(BSTR s) {
  std::u16string text(SysStringLen(s), u'\0');
  if (!text.empty()) std::memcpy(text.data(), s, text.size() * 2);
  return text;
}

BSTR NewBstr(std::u16string_view text) {
  BSTR s = SysAllocStringLen(nullptr, static_cast<uint32_t>(text.size()));
  if (s != nullptr && !text.empty()) {
    std::memcpy(s, text.data(), text.size() * 2);
  }
  return s;
}

Bstr::Bstr(const char16_t* text)
    : s_(text ? NewBstr(std::u16string_view(text)) : nullptr) {}

Bstr::Bstr(const std::u16string& text) : s_(NewBstr(text)) {}

Bstr Bstr::FromUtf8(const std::string& utf8) { return Bstr(Utf8ToUtf16(utf8)); }

Bstr Bstr::Attach(BSTR s) {
  Bstr b;
  b.s_ = s;
  return b;
}

Bstr::Bstr(const Bstr& other)
    : s_(other.s_ ? SysAllocStringLen(other.s_, other.length()) : nullptr) {}

Bstr& Bstr::operator=(const Bstr& other) {
  if (this != &other) {
    Bstr copy(other);
    std::swap(s_, copy.s_);
  }
  return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) {
    SysFreeString(s_);
    s_ = std::exchange(other.s_, nullptr);
  }
  return *this;
}

Bstr::~Bstr() { SysFreeString(s_); }

BSTR* Bstr::out() {
  SysFreeString(std::exchange(s_, nullptr));
  return &s_;
}

std::u16string Bstr::str() const { return BstrText(s_); }

std::string Bstr::utf8() const { return Utf16ToUtf8(str()); }

// ---------------------------------------------------------------------------

std::string Utf16ToUtf8(const std::u16string& text) {
  return Utf8FromUtf16(text);
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    uint32_t c = 0xFFFD;
    size_t extra = 0;
    uint32_t min = 0;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, extra = 1, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, extra = 2, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, extra = 3, min = 0x10000;
    }
    size_t used = 1;
    if (extra > 0) {
      bool ok = i + extra < n;
      for (size_t k = 1; ok && k <= extra; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) ok = false;
      }
      if (ok) {
        for (size_t k = 1; k <= extra; ++k) c = (c << 6) | (p[i + k] & 0x3F);
        used = extra + 1;
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
          c = 0xFFFD;
        }
      } else {
        c = 0xFFFD;
      }
    } else if (b >= 0x80) {
      c = 0xFFFD;
    }
    i += used;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace q7k
