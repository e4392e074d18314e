// The POSIX serial layer: device names, the device, odd bit rates and the
// wake event.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/port_names.h"
#include "platform/posix_serial_rate.h"
#include "platform/serial_io.h"
#include "platform/wake_event.h"
#include "q7kcomm/host.h"
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
// are kept and read back. Modem lines it cannot do are no failure; breaks
// on it: CommPortTest.
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

  // The dropped parity must not make later changes of other members fail.
  settings = SerialLineSettings();
  settings.parity = 'E';
  for (bool dtr : {true, false, true}) {
    settings.dtr = dtr;
    EXPECT_EQ(io_.ApplySettings(settings), 0u) << dtr;
  }

  uint32_t bits = 0xFFFF;
  EXPECT_FALSE(io_.ReadModemStatus(&bits));
  LineErrorCounts counts;
  EXPECT_FALSE(io_.ReadLineErrorCounts(&counts));
}

// Opening, refused second holders (ENOENT, EWOULDBLOCK) and the mapping to
// port errors go through CommPortTest.
TEST(PosixSerialIoOpenTest, ClassifiesErrors) {
  EXPECT_EQ(ClassifyOsError(EIO), OsErrorKind::kNotFound);
  EXPECT_EQ(ClassifyOsError(EBUSY), OsErrorKind::kAccessDenied);
  EXPECT_EQ(ClassifyOsError(EBADF), OsErrorKind::kInvalidHandle);
  EXPECT_EQ(ClassifyOsError(ENOTTY), OsErrorKind::kOther);
}

// The odd rates themselves reach the device in CommPortTest.
TEST_F(PosixSerialIoTest, ArbitraryRateRefusesZeroAndNonTerminals) {
  const int fd = open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY);
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

TEST(PosixWakeEventTest, SignalsAreNotCountedAndDrainClears) {
  WakeEvent event;
  ASSERT_EQ(event.Error(), 0u);
  const auto signalled = [&event] {
    pollfd p = {static_cast<int>(event.Handle()), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
  };
  EXPECT_FALSE(signalled());
  event.Signal();
  event.Signal();
  EXPECT_TRUE(signalled());
  event.Drain();
  EXPECT_FALSE(signalled());
  event.Drain();  // draining an unsignalled event does not block
  EXPECT_FALSE(signalled());
}

// Leaves the process-wide mapping and the environment as it found them.
class PortNamesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetSerialPortPath(3, "");
    unsetenv("Q7K_COM3");
  }
};

TEST_F(PortNamesTest, ParsesBuiltNamesOnly) {
  EXPECT_EQ(PortNumberFromName("com4"), 4);
  EXPECT_EQ(PortNumberFromName("\\\\.\\COM12"), 12);
  EXPECT_EQ(PortNumberFromName("COM-1"), -1);
  EXPECT_EQ(PortNumberFromName("COM"), std::nullopt);
  EXPECT_EQ(PortNumberFromName("COM3x"), std::nullopt);
  EXPECT_EQ(PortNumberFromName("COM99999999999"), std::nullopt);
  EXPECT_EQ(PortNumberFromName("/dev/ttyUSB0"), std::nullopt);
}

TEST_F(PortNamesTest, CodeBeatsEnvironmentBeatsDefault) {
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyS2");  // counted from 0
  EXPECT_EQ(ResolveSerialPortPath(0), "");
  setenv("Q7K_COM3", "/dev/ttyUSB0", 1);
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyUSB0");
  // Read at each resolution, not cached.
  setenv("Q7K_COM3", "/dev/ttyACM1", 1);
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyACM1");

  SetSerialPortPath(3, "/dev/pts/9");
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/pts/9");
  SetSerialPortPath(3, "");  // removes the mapping
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyACM1");

  setenv("Q7K_COM3", "", 1);  // an empty variable counts as unset
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyS2");
  // Other names are paths as they stand.
  EXPECT_EQ(DevicePathForName("/dev/pts/4"), "/dev/pts/4");
  EXPECT_EQ(DevicePathForName("COM0"), "");
}

}  // namespace
}  // namespace q7k
