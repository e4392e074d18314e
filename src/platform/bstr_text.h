// Inside, texts are std::u16string; a BSTR holds the same UTF-16 units in
// the platform's character type (wchar_t on Windows). These cross between
// the two.
#ifndef Q7K_PLATFORM_BSTR_TEXT_H_
#define Q7K_PLATFORM_BSTR_TEXT_H_

#include <string>
#include <string_view>

#include "q7kcomm/com.h"

namespace q7k {

// The characters of s; empty for a null s.
std::u16string BstrText(BSTR s);
// A new BSTR holding text; null when memory runs out.
BSTR NewBstr(std::u16string_view text);

}  // namespace q7k

#endif  // Q7K_PLATFORM_BSTR_TEXT_H_
