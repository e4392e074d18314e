#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/serial_io.h"
#include "platform/wake_event.h"
#include "support/pty_pair.h"

namespace q7k {
namespace {

constexpr int32_t kDeadlineMs = 10000;

class PosixSerialIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    ASSERT_EQ(io_.Open(pty_.slavePath()), 0u);
  }

  // Reads until count bytes came, waiting for each with the wake event.
  std::vector<uint8_t> ReadAll(size_t count) {
    std::vector<uint8_t> got;
    while (got.size() < count) {
      const WaitResult w = io_.Wait(wake_, kWaitReadable, kDeadlineMs);
      if (!w.readable) break;
      uint8_t block[64];
      uint32_t error = 0;
      const int32_t n = io_.Read(block, sizeof block, &error);
      if (n < 0) break;
      got.insert(got.end(), block, block + n);
    }
    return got;
  }

  PtyPair pty_;
  SerialIo io_;
  WakeEvent wake_;
};

TEST_F(PosixSerialIoTest, ClosedMasterIsHangupNotData) {
  pty_.CloseMaster();
  const WaitResult w =
      io_.Wait(wake_, kWaitReadable | kWaitHangup, kDeadlineMs);
  EXPECT_TRUE(w.hangup);
  EXPECT_EQ(w.error, static_cast<uint32_t>(EIO));
  uint8_t block[8];
  uint32_t error = 0;
  EXPECT_EQ(io_.Read(block, sizeof block, &error), -1);
  EXPECT_EQ(error, static_cast<uint32_t>(EIO));
  // A hang-up is reported even when the caller does not want to read.
  EXPECT_TRUE(io_.Wait(wake_, kWaitHangup, kDeadlineMs).hangup);
}

// A pseudo-terminal always runs 8 bits without parity; the other members
// are kept and read back. Modem lines and breaks it cannot do are no
// failure.
TEST_F(PosixSerialIoTest, SettingsReadBackWithoutModemLines) {
  SerialLineSettings settings;
  settings.stopBits = 2;
  settings.xonXoff = true;
  settings.ctsHandshake = true;
  settings.dsrHandshake = true;
  settings.dtr = false;
  ASSERT_EQ(io_.ApplySettings(settings), 0u);
  SerialLineSettings back;
  back.dtr = false;
  back.dsrHandshake = false;
  ASSERT_EQ(io_.ReadSettings(&back), 0u);
  EXPECT_EQ(back.stopBits, 2);
  EXPECT_TRUE(back.xonXoff);
  EXPECT_TRUE(back.ctsHandshake);
  EXPECT_EQ(back.dataBits, 8);
  EXPECT_EQ(back.parity, 'N');
  // Not on POSIX, and no modem lines on a pseudo-terminal: left alone.
  EXPECT_FALSE(back.dsrHandshake);
  EXPECT_FALSE(back.dtr);

  ASSERT_EQ(io_.ApplySettings(SerialLineSettings()), 0u);
  ASSERT_EQ(io_.ReadSettings(&back), 0u);
  EXPECT_EQ(back.stopBits, 1);
  EXPECT_FALSE(back.xonXoff);

  uint32_t bits = 0xFFFF;
  EXPECT_FALSE(io_.ReadModemStatus(&bits));
  LineErrorCounts counts;
  EXPECT_FALSE(io_.ReadLineErrorCounts(&counts));
  io_.SetBreak(true);
  io_.SetBreak(false);
  PtyPeer peer(pty_.master());
  peer.Send({7});
  EXPECT_EQ(ReadAll(1), std::vector<uint8_t>{7});
}

// A missing device and a non-terminal go through CommPortTest.
TEST(PosixSerialIoOpenTest, SecondHolderIsRefusedUntilClosed) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  SerialIo first;
  SerialIo second;
  ASSERT_EQ(first.Open(pty.slavePath()), 0u);
  const uint32_t error = second.Open(pty.slavePath());
  EXPECT_EQ(ClassifyOsError(error), OsErrorKind::kAccessDenied) << error;
  EXPECT_FALSE(second.IsOpen());
  // The refused attempt must not have loosened the holder's grip.
  EXPECT_NE(SerialIo().Open(pty.slavePath()), 0u);
  first.Close();
  EXPECT_EQ(second.Open(pty.slavePath()), 0u);
}

TEST(PosixSerialIoOpenTest, ClassifiesErrors) {
  EXPECT_EQ(ClassifyOsError(ENOENT), OsErrorKind::kNotFound);
  EXPECT_EQ(ClassifyOsError(EIO), OsErrorKind::kNotFound);
  EXPECT_EQ(ClassifyOsError(EBUSY), OsErrorKind::kAccessDenied);
  EXPECT_EQ(ClassifyOsError(EWOULDBLOCK), OsErrorKind::kAccessDenied);
  EXPECT_EQ(ClassifyOsError(EBADF), OsErrorKind::kInvalidHandle);
  EXPECT_EQ(ClassifyOsError(ENOTTY), OsErrorKind::kOther);
}

}  // namespace
}  // namespace q7k
