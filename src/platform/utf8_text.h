// UTF-16 to UTF-8 in an object of its own, apart from the exported BSTR
// helpers: code linked statically beside the shared library (q7k's
// decoder) converts without pulling in a second definition of an exported
// name.
//
// Thread safety: pure.
#ifndef Q7K_PLATFORM_UTF8_TEXT_H_
#define Q7K_PLATFORM_UTF8_TEXT_H_

#include <string>
#include <string_view>

namespace q7k {

// Unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace q7k

#endif  // Q7K_PLATFORM_UTF8_TEXT_H_
