#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scoped_code_page.h"

namespace q7k {
namespace {

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

TEST(CodePageTest, DefaultIsWindows1252AndOnlyKnownPagesAreAccepted) {
  EXPECT_EQ(GetAnsiCodePage(), 1252u);
  EXPECT_FALSE(SetAnsiCodePage(437));
  EXPECT_FALSE(SetAnsiCodePage(0));
  EXPECT_EQ(GetAnsiCodePage(), 1252u);
  {
    ScopedCodePage utf8(65001);
    EXPECT_EQ(GetAnsiCodePage(), 65001u);
    EXPECT_FALSE(SetAnsiCodePage(1250));
    EXPECT_EQ(GetAnsiCodePage(), 65001u);
  }
  EXPECT_EQ(GetAnsiCodePage(), 1252u);
}

TEST(CodePageTest, Windows1252HighControlRangeAndRoundTrips) {
  const std::u16string wide = AnsiToWide(AllBytes());
  ASSERT_EQ(wide.size(), 256u);
  for (int b : {0x00, 0x7F, 0xA0, 0xFF}) EXPECT_EQ(wide[b], b);
  // Unassigned bytes pass through.
  EXPECT_EQ(wide.substr(0x80, 32),
            u"\u20AC\x81\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160"
            u"\u2039\u0152\x8D\u017D\x8F\x90\u2018\u2019\u201C\u201D\u2022"
            u"\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\x9D\u017E\u0178");
  EXPECT_EQ(AnsiToUtf8("Termin\xE9: \x80 \x92"),
            "Termin\xC3\xA9: \xE2\x82\xAC \xE2\x80\x99");
  for (uint32_t page : {1252u, 28591u}) {
    ScopedCodePage scoped(page);
    EXPECT_EQ(WideToAnsi(AnsiToWide(AllBytes())), AllBytes()) << page;
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(AllBytes())), AllBytes()) << page;
  }
}

TEST(CodePageTest, MissingCharactersBecomeQuestionMarks) {
  // U+0080 is not in Windows-1252 (byte 0x80 is the euro sign).
  EXPECT_EQ(WideToAnsi(u"a\u0080b\u20AC\u4E2D"), "a?b\x80?");
  EXPECT_EQ(WideToAnsi(std::u16string{u'a', char16_t(0xD800), u'b'}), "a?b");
  EXPECT_EQ(Utf8ToAnsi("caf\xC3\xA9 \xE4\xB8\xAD"), "caf\xE9 ?");
  // Embedded zeros are kept.
  EXPECT_EQ(WideToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Utf8ToAnsi(std::string("a\0b", 3)), std::string("a\0b", 3));

  ScopedCodePage latin1(28591);
  EXPECT_EQ(WideToAnsi(u"\u0080\u00FF\u0100\u20AC"), "\x80\xFF??");
  EXPECT_EQ(AnsiToWide("\x80\x92"), u"\u0080\u0092");
}

TEST(CodePageTest, Utf8HostPageEncodesFullyAndReplacesMalformedInput) {
  ScopedCodePage utf8(65001);
  EXPECT_EQ(WideToAnsi(u"\u00E9\u20AC\U0001F600"),
            "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(AnsiToWide("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
            u"\u00E9\u20AC\U0001F600");
  // A lone surrogate cannot be encoded: it becomes U+FFFD.
  EXPECT_EQ(WideToAnsi(std::u16string{char16_t(0xD83D)}), "\xEF\xBF\xBD");
  // How many U+FFFD a malformed sequence gives is the platform's rule
  // (posix_codepage_test.cc); a stray byte gives one everywhere.
  EXPECT_EQ(AnsiToWide("a\x80z"), u"a\uFFFDz");
  EXPECT_EQ(AnsiToWide("\xC3x"), u"\uFFFDx");
}

}  // namespace
}  // namespace q7k
