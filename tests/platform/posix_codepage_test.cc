// The converter's own rules where platforms differ: Windows' conversion
// counts UTF-16 units and replaces maximal malformed subsequences.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "support/scoped_code_page.h"

namespace q7k {
namespace {

TEST(PosixCodePageTest, OneReplacementPerCharacterOrMalformedByte) {
  // A surrogate pair is one character, so one '?'.
  EXPECT_EQ(WideToAnsi(u"x\U0001F600y"), "x?y");
  ScopedCodePage utf8(65001);
  // Overlong form, encoded surrogate, beyond U+10FFFF, truncated at the
  // end: one U+FFFD per byte.
  const struct {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"x\xE2\x82", u"x\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiToWide(c.in), c.out) << c.in;
  // The same input read as catalog text into Windows-1252.
  SetAnsiCodePage(1252);
  EXPECT_EQ(Utf8ToAnsi("\xC3x\xE2\x82"), "?x??");
}

}  // namespace
}  // namespace q7k
