// CommPort on the Win32 serial device, against a Linux peer on a
// pseudo-terminal linked as a COM port of the wine prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "link/comm_port.h"
#include "link/link_errors.h"
#include "support/port_transfers.h"
#include "support/serial_peer.h"
#include "support/test_platform.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;

double ProcessCpuSeconds() {
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  const auto seconds = [](const FILETIME& t) {
    return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

class Win32CommPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!peer_.error().empty()) GTEST_SKIP() << peer_.error();
    port_ = std::make_unique<CommPort>(peer_.comName(),
                                       PortSettings::Instrument(9600));
    ASSERT_EQ(port_->status(), 0) << "os error " << port_->osError();
  }

  // A few bytes each way still go through.
  void ExpectRoundTrip(uint8_t seed) {
    const Bytes out = Stream(seed * 5, 5);
    ASSERT_EQ(port_->Write(out.data(), 5), 0);
    EXPECT_EQ(peer_.Receive(5, 5000), out);
    ASSERT_TRUE(peer_.Send(out));
    EXPECT_EQ(ReadExactly(*port_, 5), out);
  }

  SerialPeer peer_;
  std::unique_ptr<CommPort> port_;
};

// An idle port's threads wait in the system; wine itself polls a serial
// line every millisecond, a spinning reader would take a whole core.
TEST_F(Win32CommPortTest, IdlePortWaitsWithoutSpinning) {
  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_LT(ProcessCpuSeconds() - before, 0.15)
      << "is the modem-line shim preloaded into wine?";
  EXPECT_EQ(port_->status(), 0) << "os error " << port_->osError();
}

TEST_F(Win32CommPortTest, MovesBytesBothWaysBeyondTheDeviceQueues) {
  // Bytes a cooked terminal would act on go through untouched.
  const Bytes control = {0x10, 0x02, 0x03, 0x11, 0x13,
                         0x0D, 0x0A, 0x1A, 0,    0xFF};
  ASSERT_EQ(port_->Write(control.data(), 10), 0);
  EXPECT_EQ(peer_.Receive(10, 5000), control);
  // More than the 500-byte device queues and the 256-byte reads.
  const Bytes big = Stream(7, 1800);
  ASSERT_EQ(port_->Write(big.data(), 1800), 0);
  EXPECT_EQ(peer_.Receive(1800, 5000), big);
  ASSERT_TRUE(peer_.Send(big));
  EXPECT_EQ(ReadExactly(*port_, 1800), big);
}

TEST_F(Win32CommPortTest, LineFormatsAcceptedAndRefused) {
  struct Case {
    int32_t baud, parity, dataBits, stopBits, result;
  };
  const Case cases[] = {
      {19200, 'e', 7, 2, 0},
      {115200, 'N', 8, 1, 0},
      {-1, 'x', -1, -1, kPortBadParity},
      {-1, -1, 4, -1, kPortBadDataBits},
      {-1, -1, -1, 3, kPortBadStopBits},
  };
  uint8_t seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud << " " << char(c.parity) << " "
                                    << c.dataBits << " " << c.stopBits);
    EXPECT_EQ(port_->Configure(c.baud, c.parity, c.dataBits, c.stopBits),
              c.result);
    EXPECT_EQ(port_->status(), 0);
    ExpectRoundTrip(++seed);
  }
  EXPECT_EQ(port_->baud(), 115200u);
  // Closing releases the device: it opens again with what it was left at.
  port_.reset();
  port_ = std::make_unique<CommPort>(peer_.comName(), PortSettings());
  ASSERT_EQ(port_->status(), 0);
  EXPECT_EQ(port_->baud(), 115200u);
  ExpectRoundTrip(++seed);
}

TEST_F(Win32CommPortTest, PurgeDropsInputHeldInTheDevice) {
  // The queue fills and the rest waits in the device: the peer has written
  // it all to the line before it answers.
  ASSERT_TRUE(peer_.Send(Stream(1, kPortQueueCapacity + 300)));
  ASSERT_TRUE(port_->WaitForRx(kPortQueueCapacity - 1, kPortDeadline));
  EXPECT_EQ(port_->PurgeRx(), 0);
  EXPECT_EQ(port_->RxCount(), 0);
  const Bytes marker = {0xA5, 0x5A};
  ASSERT_TRUE(peer_.Send(marker));
  EXPECT_EQ(ReadExactly(*port_, 2), marker);
  EXPECT_FALSE(port_->WaitForRx(0, milliseconds(100)))
      << "purged bytes arrived after all";

  EXPECT_EQ(port_->PurgeTx(), 0);
  ExpectRoundTrip(9);
}

TEST_F(Win32CommPortTest, BreakHoldsTheOutputBack) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_->SendBreak(300), 0);
  const Bytes after = {0x42};
  ASSERT_EQ(port_->Write(after.data(), 1), 0);
  EXPECT_EQ(peer_.Receive(1, 5000), after);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
  EXPECT_EQ(port_->status(), 0);
}

TEST(Win32CommPortOpenTest, MissingAndHeldDevices) {
  CommPort missing("\\\\.\\COM42", PortSettings());
  EXPECT_EQ(missing.status(), kPortNotFound);

  SerialPeer peer;
  if (!peer.error().empty()) GTEST_SKIP() << peer.error();
  CommPort holder(peer.comName(), PortSettings());
  ASSERT_EQ(holder.status(), 0);
  if (RunningUnderWine()) {
    GTEST_SKIP() << "wine lets a second exclusive CreateFileA succeed";
  }
  CommPort second(peer.comName(), PortSettings());
  EXPECT_EQ(second.status(), kPortInUse);
}

}  // namespace
}  // namespace q7k
