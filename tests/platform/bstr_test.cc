#include <gtest/gtest.h>

#include <thread>

#include "q7kcomm/com.h"

namespace q7k {
namespace {

TEST(BstrTest, WrapperOwnsAndConverts) {
  Bstr a = Bstr::FromUtf8("Terminé: 42 % \xF0\x9F\x98\x80");
  EXPECT_EQ(a.length(), 16u);  // the emoji is a surrogate pair
  EXPECT_EQ(a.utf8(), "Terminé: 42 % \xF0\x9F\x98\x80");
  Bstr b = a;
  EXPECT_NE(b.get(), a.get());
  EXPECT_EQ(b.str(), a.str());
  Bstr c = std::move(b);
  EXPECT_EQ(b.get(), nullptr);
  EXPECT_EQ(c.str(), a.str());
  BSTR raw = c.Detach();
  EXPECT_TRUE(c.empty());
  Bstr d = Bstr::Attach(raw);
  EXPECT_EQ(d.get(), raw);
  *d.out() = Bstr(u"x").Detach();
  EXPECT_EQ(d.utf8(), "x");
}

TEST(BstrTest, Utf8ConversionRejectsMalformedInput) {
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");          // truncated
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");      // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");  // surrogate
  EXPECT_EQ(Utf8ToUtf16("a\x80z"), u"a\uFFFDz");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// Each thread keeps its own record, which ends with the thread (on Windows
// an ended thread's record once corrupted the heap). A record is taken
// whole, and once: ComponentTest.ErrorRecordKeepsClearsAndRepublishes.
TEST(ErrorInfoTest, RecordsBelongToTheirThreadAndEndWithIt) {
  EXPECT_EQ(GetErrorInfo(nullptr), E_POINTER);
  SetErrorInfo(ErrorInfo{u"main", u"", IID_IQ7kComm, u"", 0});
  for (int i = 0; i < 20; ++i) {
    std::thread([i] {
      ErrorInfo out;
      EXPECT_EQ(GetErrorInfo(&out), S_FALSE);
      SetErrorInfo(ErrorInfo{std::u16string(40, u'x'), u"", IID_IQ7kLog, u"",
                             static_cast<uint32_t>(i)});
    }).join();
  }
  ErrorInfo out;
  ASSERT_EQ(GetErrorInfo(&out), S_OK);
  EXPECT_EQ(out.description, u"main");
}

TEST(GuidTest, IdentifiersAreDistinct) {
  const GUID* all[] = {&CLSID_Q7kComm,         &IID_IUnknown,
                       &IID_ISupportErrorInfo, &IID_IQ7kComm,
                       &IID_IQ7kCalStatus,     &IID_IQ7kEeprom,
                       &IID_IQ7kLog,           &LIBID_Q7KCOMMLib};
  for (const GUID* a : all) {
    for (const GUID* b : all) EXPECT_EQ(*a == *b, a == b);
  }
}

}  // namespace
}  // namespace q7k
