#include "platform/posix_serial_rate.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "support/pty_pair.h"

namespace q7k {
namespace {

// The odd rates themselves reach the device in CommPortTest.
TEST(PosixSerialRateTest, RefusesRateZeroAndNonTerminals) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  const int fd = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(SetArbitraryBitRate(fd, 0), EINVAL);  // 0 would hang up
  close(fd);

  const int null = open("/dev/null", O_RDWR);
  ASSERT_GE(null, 0);
  uint32_t rate = 0;
  EXPECT_EQ(SetArbitraryBitRate(null, 9600), ENOTTY);
  EXPECT_EQ(GetArbitraryBitRate(null, &rate), ENOTTY);
  close(null);
}

}  // namespace
}  // namespace q7k
