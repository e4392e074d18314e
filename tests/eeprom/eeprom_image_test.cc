// The EEPROM image accessors and packing helpers of IQ7kEeprom: the stored
// layout is bit-exact, and no location range may reach outside the image.
#include <gtest/gtest.h>

#include <functional>

#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace {

class EepromImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kEeprom, e_.AsVoidOut()),
              S_OK);
  }
  uint16_t Word(short i) {
    short v = 0;
    EXPECT_EQ(e_->get_ValInt(i, &v), S_OK);
    return static_cast<uint16_t>(v);
  }
  std::string Chars(short i, short n) {
    Bstr s;
    EXPECT_EQ(e_->get_ValChars(i, n, s.out()), S_OK);
    return s.utf8();
  }
  ComPtr<IQ7kEeprom> e_;
};

TEST_F(EepromImageTest, ValuesAreStoredLowWordFirst) {
  ASSERT_EQ(e_->put_ValLong(10, 0x12345678), S_OK);
  EXPECT_EQ(Word(10), 0x5678);
  EXPECT_EQ(Word(11), 0x1234);
  ASSERT_EQ(e_->put_ValFloat(20, 1.0f), S_OK);
  EXPECT_EQ(Word(20), 0x0000);
  EXPECT_EQ(Word(21), 0x3F80);
  ASSERT_EQ(e_->put_ValFloat(254, -2.5f), S_OK);  // the last pair
  float f = 0;
  ASSERT_EQ(e_->get_ValFloat(254, &f), S_OK);
  EXPECT_EQ(f, -2.5f);

  short lo = 1, hi = 1;
  e_->Float2Ints(1.0f, &lo, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0x3F80);
  e_->Ints2Float(0, 0x3F80, &f);
  EXPECT_EQ(f, 1.0f);
}

TEST_F(EepromImageTest, TextsAreTwoCharactersAWordLowByteFirst) {
  struct Case {
    short word;
    const char* chars;
  };
  for (const Case& c : {Case{0x4241, "AB"}, Case{0x0041, "A"}, Case{0, ""}}) {
    Bstr s;
    e_->Int2Chars(c.word, s.out());
    EXPECT_EQ(s.utf8(), c.chars);
    short w = -1;
    e_->Chars2Int(Bstr::FromUtf8(c.chars).get(), &w);
    EXPECT_EQ(w, c.word);
  }

  ASSERT_EQ(e_->put_ValChars(3, 12, Bstr(u"71K-2913-01").get()), S_OK);
  EXPECT_EQ(Word(3), ('1' << 8) | '7');
  EXPECT_EQ(Word(8), '1');  // the terminator fills the last byte
  EXPECT_EQ(Chars(3, 12), "71K-2913-01");
  EXPECT_EQ(Chars(5, 4), "2913");

  // A text cut to its field has no terminator; an odd size keeps the
  // other byte of the last word.
  e_->put_ValInt(13, 0x7777);
  ASSERT_EQ(e_->put_ValChars(11, 4, Bstr(u"ABCDEFG").get()), S_OK);
  EXPECT_EQ(Word(12), 0x4443);
  EXPECT_EQ(Word(13), 0x7777);
  ASSERT_EQ(e_->put_ValChars(13, 1, Bstr(u"Z").get()), S_OK);
  EXPECT_EQ(Word(13), 0x775A);
}

TEST_F(EepromImageTest, DatesAndValidBits) {
  Bstr date;
  e_->get_ValDate(52, date.out());
  EXPECT_EQ(date.utf8(), "");  // all zero
  ASSERT_EQ(e_->put_ValDate(52, Bstr(u"01-27-95").get()), S_OK);
  EXPECT_EQ(Word(52), ('1' << 8) | '0');
  e_->get_ValDate(52, date.out());
  EXPECT_EQ(date.utf8(), "01/27/95");
  EXPECT_EQ(e_->put_ValDate(52, Bstr(u"1/27/95").get()), E_INVALIDARG);
  EXPECT_EQ(Word(52), ('1' << 8) | '0');

  e_->put_ValInt(72, -1);
  e_->put_ValInt(73, 1023);
  short bits = 0;
  ASSERT_EQ(e_->get_ValidBits(72, &bits), S_OK);
  EXPECT_EQ(bits, 26);
  e_->put_ValInt(255, 7);
  ASSERT_EQ(e_->get_ValidBits(250, &bits), S_OK);
  EXPECT_EQ(bits, 3);
}

TEST_F(EepromImageTest, RangesOutsideTheImageAreRefused) {
  short s = 0;
  int32_t l = 0;
  float f = 0;
  Bstr b;
  const Bstr text(u"ABC");
  const std::function<HRESULT()> calls[] = {
      [&] { return e_->get_ValInt(256, &s); },
      [&] { return e_->put_ValInt(-1, 1); },
      [&] { return e_->get_ValLong(255, &l); },
      [&] { return e_->put_ValLong(255, 1); },
      [&] { return e_->put_ValFloat(-1, 1); },
      [&] { return e_->get_ValFloat(255, &f); },
      [&] { return e_->get_ValChars(3, 64, b.out()); },
      [&] { return e_->get_ValChars(250, 20, b.out()); },
      [&] { return e_->get_ValChars(0, -1, b.out()); },
      [&] { return e_->put_ValChars(255, 3, text.get()); },
      [&] { return e_->put_ValChars(-3, 2, text.get()); },
      [&] { return e_->put_ValChars(0, -1, text.get()); },
      [&] { return e_->put_ValChars(0, 4, nullptr); },
      [&] { return e_->put_ValDate(254, Bstr(u"01/27/95").get()); },
      [&] { return e_->get_ValDate(-1, b.out()); },
      [&] { return e_->get_ValidBits(251, &s); },
      [&] { return e_->get_ValidBits(-1, &s); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    EXPECT_EQ(calls[i](), E_INVALIDARG) << "call " << i;
  }
  for (short i = 0; i < 256; ++i) EXPECT_EQ(Word(i), 0) << i;
}

}  // namespace
}  // namespace q7k
