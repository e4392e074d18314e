// 8-bit text through the platform's own conversion, in the process's ANSI
// code page unless the host chose another.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/codepage.h"
#include "platform/win32_chosen_code_page.h"

namespace q7k {
namespace {

std::u16string ToWide(uint32_t codePage, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n =
      MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size,
                      reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string FromWide(uint32_t codePage, std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  // No best fit: a character the page lacks is '?', never a look-alike
  // that reads as something else.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* unmappable = utf8 ? nullptr : "?";
  const int n = WideCharToMultiByte(codePage, flags, wide, size, nullptr, 0,
                                    unmappable, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide, size, out.data(), n, unmappable,
                      nullptr);
  return out;
}

}  // namespace

std::atomic<uint32_t>& ChosenCodePage() {
  static std::atomic<uint32_t> chosen{0};
  return chosen;
}

uint32_t CurrentCodePage() {
  const uint32_t chosen = ChosenCodePage().load();
  return chosen != 0 ? chosen : GetACP();
}

std::u16string AnsiToWide(std::string_view ansi) {
  return ToWide(CurrentCodePage(), ansi);
}

std::string WideToAnsi(std::u16string_view wide) {
  return FromWide(CurrentCodePage(), wide);
}

std::string Utf8ToAnsi(std::string_view utf8) {
  return FromWide(CurrentCodePage(), ToWide(CP_UTF8, utf8));
}

std::string AnsiToUtf8(std::string_view ansi) {
  return FromWide(CP_UTF8, ToWide(CurrentCodePage(), ansi));
}

}  // namespace q7k
