#include "platform/codepage.h"

#include <atomic>
#include <cstdint>

#include "q7kcomm/host.h"

namespace q7k {
namespace {

constexpr uint32_t kWindows1252 = 1252;
constexpr uint32_t kLatin1 = 28591;
constexpr uint32_t kUtf8 = 65001;

constexpr char32_t kReplacement = 0xFFFD;
constexpr char kUnmappable = '?';

std::atomic<uint32_t> g_codePage{kWindows1252};

// Windows-1252 bytes 0x80..0x9F; the five bytes the code page leaves
// undefined keep their own value, as the host's converter does.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes one code point at text[*pos] and advances *pos. Malformed input
// (stray continuation bytes, overlong forms, surrogates, values above
// U+10FFFF, truncated sequences) gives U+FFFD and skips one byte.
char32_t NextUtf8(std::string_view text, size_t* pos) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(*pos);
  size_t extra;
  char32_t cp;
  char32_t minimum;
  if (lead < 0x80) {
    ++*pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07;
    minimum = 0x10000;
  } else {
    ++*pos;
    return kReplacement;
  }
  if (text.size() - *pos <= extra) {
    ++*pos;
    return kReplacement;
  }
  for (size_t i = 1; i <= extra; ++i) {
    const uint8_t b = byte(*pos + i);
    if ((b & 0xC0) != 0x80) {
      ++*pos;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++*pos;
    return kReplacement;
  }
  *pos += extra + 1;
  return cp;
}

// Decodes one code point at text[*pos]; a lone surrogate gives U+FFFD.
char32_t NextUtf16(std::u16string_view text, size_t* pos) {
  const char16_t unit = text[(*pos)++];
  if (unit >= 0xD800 && unit <= 0xDBFF && *pos < text.size()) {
    const char16_t low = text[*pos];
    if (low >= 0xDC00 && low <= 0xDFFF) {
      ++*pos;
      return 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) return kReplacement;
  return unit;
}

// Decodes one character of 8-bit text in codePage.
char32_t NextAnsi(uint32_t codePage, std::string_view text, size_t* pos) {
  if (codePage == kUtf8) return NextUtf8(text, pos);
  const uint8_t b = static_cast<uint8_t>(text[(*pos)++]);
  if (codePage == kWindows1252 && b >= 0x80 && b <= 0x9F) {
    return k1252High[b - 0x80];
  }
  return b;
}

void AppendAnsi(uint32_t codePage, char32_t cp, std::string& out) {
  if (codePage == kUtf8) {
    AppendUtf8(cp, out);
    return;
  }
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    out.push_back(static_cast<char>(cp));
    return;
  }
  if (codePage == kLatin1) {
    out.push_back(cp <= 0xFF ? static_cast<char>(cp) : kUnmappable);
    return;
  }
  for (size_t i = 0; i < 32; ++i) {
    if (k1252High[i] == cp) {
      out.push_back(static_cast<char>(0x80 + i));
      return;
    }
  }
  out.push_back(kUnmappable);
}

}  // namespace

bool SetAnsiCodePage(uint32_t codePage) {
  if (codePage != kWindows1252 && codePage != kLatin1 && codePage != kUtf8) {
    return false;
  }
  g_codePage.store(codePage);
  return true;
}

uint32_t GetAnsiCodePage() { return g_codePage.load(); }

std::u16string AnsiToWide(std::string_view ansi) {
  const uint32_t codePage = GetAnsiCodePage();
  std::u16string out;
  out.reserve(ansi.size());
  for (size_t pos = 0; pos < ansi.size();) {
    AppendUtf16(NextAnsi(codePage, ansi, &pos), out);
  }
  return out;
}

std::string WideToAnsi(std::u16string_view wide) {
  const uint32_t codePage = GetAnsiCodePage();
  std::string out;
  out.reserve(wide.size());
  for (size_t pos = 0; pos < wide.size();) {
    AppendAnsi(codePage, NextUtf16(wide, &pos), out);
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  const uint32_t codePage = GetAnsiCodePage();
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    AppendAnsi(codePage, NextUtf8(utf8, &pos), out);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  const uint32_t codePage = GetAnsiCodePage();
  std::string out;
  out.reserve(ansi.size());
  for (size_t pos = 0; pos < ansi.size();) {
    AppendUtf8(NextAnsi(codePage, ansi, &pos), out);
  }
  return out;
}

}  // namespace q7k
