#include <gtest/gtest.h>

#include <cstring>

#include "q7kcomm/com.h"

namespace q7k {
namespace {

TEST(BstrTest, AllocationCarriesLengthAndTerminator) {
  BSTR s = SysAllocString(u"Q7300");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  uint32_t byteLength;
  std::memcpy(&byteLength, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(byteLength, 10u);
  EXPECT_EQ(s[5], 0);
  SysFreeString(s);

  const char16_t withZero[] = {u'a', 0, u'b'};
  s = SysAllocStringLen(withZero, 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[2], u'b');
  SysFreeString(s);
  s = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(SysStringLen(s), 4u);
  EXPECT_EQ(s[0], 0);
  SysFreeString(s);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

}  // namespace
}  // namespace q7k
