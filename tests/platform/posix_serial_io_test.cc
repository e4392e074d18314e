#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/serial_io.h"
#include "platform/wake_event.h"
#include "support/foreign_holder.h"
#include "support/pty_pair.h"

namespace q7k {
namespace {

constexpr int32_t kDeadlineMs = 10000;

// Bytes a cooked terminal would eat or act on: ETX, XON, XOFF, CR, LF, DEL,
// the line-kill and end-of-file characters.
const std::vector<uint8_t> kControlBytes = {0x03, 0x11, 0x13, 0x0D, 0x0A,
                                            0x7F, 0x15, 0x04, 0x00, 0xFF};

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

TEST_F(PosixSerialIoTest, MovesRawBytesBothWays) {
  uint32_t error = 0;
  ASSERT_EQ(io_.Write(kControlBytes.data(), kControlBytes.size(), &error),
            static_cast<int32_t>(kControlBytes.size()));
  EXPECT_EQ(pty_.ReadMaster(kControlBytes.size()), kControlBytes);

  ASSERT_TRUE(pty_.WriteMaster(kControlBytes));
  EXPECT_EQ(ReadAll(kControlBytes.size()), kControlBytes);
}

TEST_F(PosixSerialIoTest, NothingWaitingReadsZeroNotEndOfFile) {
  uint8_t block[8];
  uint32_t error = 0;
  EXPECT_EQ(io_.Read(block, sizeof block, &error), 0);
  EXPECT_EQ(error, 0u);
  const WaitResult w = io_.Wait(wake_, kWaitReadable | kWaitHangup, 0);
  EXPECT_FALSE(w.readable);
  EXPECT_FALSE(w.hangup);
  EXPECT_FALSE(w.woken);
}

TEST_F(PosixSerialIoTest, WakeEventEndsWait) {
  wake_.Signal();
  const WaitResult w = io_.Wait(wake_, kWaitReadable, kDeadlineMs);
  EXPECT_TRUE(w.woken);
  EXPECT_FALSE(w.readable);
  wake_.Drain();
  EXPECT_FALSE(io_.Wait(wake_, 0, 0).woken);
}

TEST_F(PosixSerialIoTest, FullOutputWouldBlock) {
  std::vector<uint8_t> block(4096, 0x55);
  uint32_t error = 0;
  int32_t n = 0;
  size_t total = 0;
  // The master does not read, so the terminal's buffers fill up.
  while ((n = io_.Write(block.data(), block.size(), &error)) > 0) {
    total += static_cast<size_t>(n);
    ASSERT_LT(total, 16u << 20) << "output never backed up";
  }
  EXPECT_EQ(n, 0);
  EXPECT_EQ(error, 0u);
  // Draining the master makes room again.
  pty_.ReadMaster(total, std::chrono::milliseconds(2000));
  EXPECT_TRUE(io_.Wait(wake_, kWaitWritable, kDeadlineMs).writable);
}

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
  error = 0;
  EXPECT_EQ(io_.Write(block, 1, &error), -1);
  EXPECT_EQ(error, static_cast<uint32_t>(EIO));
  // A hang-up is reported even when the caller does not want to read.
  EXPECT_TRUE(io_.Wait(wake_, kWaitHangup, kDeadlineMs).hangup);
}

TEST_F(PosixSerialIoTest, PurgeInputDropsPendingBytes) {
  ASSERT_TRUE(pty_.WriteMaster({1, 2, 3}));
  io_.PurgeInput();
  uint8_t block[8];
  uint32_t error = 0;
  EXPECT_EQ(io_.Read(block, sizeof block, &error), 0);
  ASSERT_TRUE(pty_.WriteMaster({4}));
  EXPECT_EQ(ReadAll(1), std::vector<uint8_t>{4});
}

TEST_F(PosixSerialIoTest, InstrumentRatesReadBack) {
  SerialLineSettings settings;
  for (uint32_t rate : {14400u, 112500u, 128000u, 9600u}) {
    settings.baud = rate;
    ASSERT_EQ(io_.ApplySettings(settings), 0u) << rate;
    SerialLineSettings back;
    back.baud = 0;
    ASSERT_EQ(io_.ReadSettings(&back), 0u);
    EXPECT_EQ(back.baud, rate);
  }
}

// A pseudo-terminal always runs 8 bits without parity; the other members
// are kept and read back.
TEST_F(PosixSerialIoTest, StopBitsAndFlowControlReadBack) {
  SerialLineSettings settings;
  settings.stopBits = 2;
  settings.xonXoff = true;
  settings.ctsHandshake = true;
  settings.dsrHandshake = true;
  ASSERT_EQ(io_.ApplySettings(settings), 0u);
  SerialLineSettings back;
  back.dtr = false;
  back.rts = false;
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
  EXPECT_FALSE(back.rts);

  settings = SerialLineSettings();
  ASSERT_EQ(io_.ApplySettings(settings), 0u);
  ASSERT_EQ(io_.ReadSettings(&back), 0u);
  EXPECT_EQ(back.stopBits, 1);
  EXPECT_FALSE(back.xonXoff);
  EXPECT_FALSE(back.ctsHandshake);
}

TEST_F(PosixSerialIoTest, PseudoTerminalHasNoModemLinesOrErrorCounts) {
  uint32_t bits = 0xFFFF;
  EXPECT_FALSE(io_.ReadModemStatus(&bits));
  LineErrorCounts counts;
  EXPECT_FALSE(io_.ReadLineErrorCounts(&counts));
  // Lines and breaks it cannot do are no failure.
  SerialLineSettings settings;
  settings.dtr = false;
  settings.rts = false;
  EXPECT_EQ(io_.ApplySettings(settings), 0u);
  io_.SetBreak(true);
  io_.SetBreak(false);
  ASSERT_TRUE(pty_.WriteMaster({7}));
  EXPECT_EQ(ReadAll(1), std::vector<uint8_t>{7});
}

TEST(PosixSerialIoOpenTest, MissingDeviceIsNotFound) {
  SerialIo io;
  const uint32_t error = io.Open("/dev/q7k-no-such-device");
  EXPECT_EQ(error, static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(ClassifyOsError(error), OsErrorKind::kNotFound);
  EXPECT_FALSE(io.IsOpen());
  EXPECT_EQ(ClassifyOsError(io.Open("")), OsErrorKind::kNotFound);
}

TEST(PosixSerialIoOpenTest, NonTerminalOpensButRefusesSettings) {
  SerialIo io;
  ASSERT_EQ(io.Open("/dev/null"), 0u);
  SerialLineSettings settings;
  EXPECT_EQ(io.ApplySettings(settings), static_cast<uint32_t>(ENOTTY));
  EXPECT_EQ(io.ReadSettings(&settings), static_cast<uint32_t>(ENOTTY));
}

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

TEST(PosixSerialIoOpenTest, HolderInAnotherProcessRefuses) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok()) << pty.error();
  SerialIo io;
  {
    SerialIo held;
    ForeignHolder holder([&] { return held.Open(pty.slavePath()) == 0; });
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(ClassifyOsError(io.Open(pty.slavePath())),
              OsErrorKind::kAccessDenied);
  }
  EXPECT_EQ(io.Open(pty.slavePath()), 0u);  // released when it exited
}

TEST(PosixSerialIoOpenTest, ClassifiesErrors) {
  EXPECT_EQ(ClassifyOsError(ENOENT), OsErrorKind::kNotFound);
  EXPECT_EQ(ClassifyOsError(ENXIO), OsErrorKind::kNotFound);
  EXPECT_EQ(ClassifyOsError(ENODEV), OsErrorKind::kNotFound);
  EXPECT_EQ(ClassifyOsError(EIO), OsErrorKind::kNotFound);
  EXPECT_EQ(ClassifyOsError(EBUSY), OsErrorKind::kAccessDenied);
  EXPECT_EQ(ClassifyOsError(EACCES), OsErrorKind::kAccessDenied);
  EXPECT_EQ(ClassifyOsError(EPERM), OsErrorKind::kAccessDenied);
  EXPECT_EQ(ClassifyOsError(EWOULDBLOCK), OsErrorKind::kAccessDenied);
  EXPECT_EQ(ClassifyOsError(EBADF), OsErrorKind::kInvalidHandle);
  EXPECT_EQ(ClassifyOsError(ENOTTY), OsErrorKind::kOther);
  EXPECT_EQ(ClassifyOsError(EINVAL), OsErrorKind::kOther);
}

}  // namespace
}  // namespace q7k
