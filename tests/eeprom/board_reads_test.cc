// The single-value EEPROM reads through IQ7kEeprom.
#include <gtest/gtest.h>

#include "support/scripted_component.h"

namespace q7k {
namespace {

using EepromReadTest = ScriptedComponentTest;

TEST_F(EepromReadTest, RequestsNameTheBoardAndLocationAndFailuresLeaveZero) {
  // Location 1 is refused.
  ConnectInProcess([](const Request& r) {
    if (r.payload.at(4) == 1)
      return LineBytes(NakFrame(r.command, 13, Le16(3)));
    return LineBytes(
        AckFrame(r.command, r.command == 0x7E06 ? Le16(0xFFFE) : LeF32(1.0f)));
  });
  short word = 0;
  ASSERT_EQ(e_->ReadInt(3, 1, 200, &word), S_OK);
  EXPECT_EQ(LastCommand(), 0x7E06);
  EXPECT_EQ(LastPayload(), Concat({Le16(3), Le16(1), Le16(200)}));
  EXPECT_EQ(word, -2);
  float value = 0.0f;
  ASSERT_EQ(e_->ReadFloat(0, 2, 230, &value), S_OK);
  EXPECT_EQ(LastCommand(), 0x7E0A);
  EXPECT_EQ(LastPayload(), Concat({Le16(0), Le16(2), Le16(230)}));
  EXPECT_EQ(value, 1.0f);

  EXPECT_EQ(e_->ReadInt(0, 0, 1, &word), E_FAIL);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(Code(), 21);
  EXPECT_EQ(e_->ReadFloat(0, 0, 1, &value), E_FAIL);
  EXPECT_EQ(value, 0.0f);
  comm_->ClosePort();
  EXPECT_EQ(e_->ReadInt(0, 0, 2, &word), E_FAIL);  // no port
}

}  // namespace
}  // namespace q7k
