// Board texts cross the interface as BSTRs and live inside as 8-bit text in
// the host's code page; these convert at the boundary.
#ifndef Q7K_COMPONENT_ANSI_TEXT_H_
#define Q7K_COMPONENT_ANSI_TEXT_H_

#include <string>

#include "platform/bstr_text.h"
#include "platform/codepage.h"
#include "q7kcomm/com.h"

namespace q7k {

// The text up to its first NUL, in the host code page (null gives "").
inline std::string AnsiOf(BSTR s) {
  if (s == nullptr) return {};
  std::string text = WideToAnsi(BstrText(s));
  return text.substr(0, text.find('\0'));
}

// A new BSTR of text up to its first NUL.
inline HRESULT ReturnAnsi(const std::string& text, BSTR* pVal) {
  const std::u16string wide = AnsiToWide(text.substr(0, text.find('\0')));
  *pVal = NewBstr(wide);
  return *pVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace q7k

#endif  // Q7K_COMPONENT_ANSI_TEXT_H_
