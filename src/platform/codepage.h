// Conversion between the interface's UTF-16 strings and the 8-bit texts used
// inside the component (the host's "ANSI code page", Windows-1252 unless the
// host chose another with SetAnsiCodePage).
//
// Thread safety: safe from any thread; the code page is read atomically.
#ifndef Q7K_PLATFORM_CODEPAGE_H_
#define Q7K_PLATFORM_CODEPAGE_H_

#include <string>
#include <string_view>

namespace q7k {

// 8-bit text in the host code page -> UTF-16. Bytes that the code page leaves
// undefined map to the same code point (as Windows does for 0x81, 0x8D ...).
std::u16string AnsiToWide(std::string_view ansi);
// UTF-16 -> 8-bit text in the host code page; characters the code page lacks
// become '?'. Stops at nothing: embedded zeros are kept.
std::string WideToAnsi(std::u16string_view wide);
// UTF-8 -> 8-bit text in the host code page (used for the catalog).
std::string Utf8ToAnsi(std::string_view utf8);
// 8-bit text in the host code page -> UTF-8 (for terminals and tools).
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace q7k

#endif  // Q7K_PLATFORM_CODEPAGE_H_
