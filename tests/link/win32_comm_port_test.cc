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
#include "support/serial_peer.h"
#include "support/test_platform.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;
constexpr milliseconds kDeadline{10000};

Bytes Stream(size_t n, uint8_t seed) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + seed);
  return bytes;
}

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

  // Takes exactly count bytes from the port.
  Bytes ReadExactly(size_t count) {
    Bytes got;
    Bytes block(kPortQueueCapacity + 1);
    while (got.size() < count && port_->WaitForRx(0, kDeadline)) {
      const int32_t n = std::min<int32_t>(
          port_->RxCount(), static_cast<int32_t>(count - got.size()));
      if (port_->Read(block.data(), n) != 0) break;
      got.insert(got.end(), block.begin(), block.begin() + n);
    }
    return got;
  }
  // A few bytes each way still go through.
  void ExpectRoundTrip(uint8_t seed) {
    const Bytes out = Stream(5, seed);
    ASSERT_EQ(port_->Write(out.data(), 5), 0);
    EXPECT_EQ(peer_.Receive(5, 5000), out);
    ASSERT_TRUE(peer_.Send(out));
    EXPECT_EQ(ReadExactly(5), out);
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
  const Bytes big = Stream(1800, 7);
  ASSERT_EQ(port_->Write(big.data(), 1800), 0);
  EXPECT_EQ(peer_.Receive(1800, 5000), big);
  ASSERT_TRUE(peer_.Send(big));
  EXPECT_EQ(ReadExactly(1800), big);
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
  ASSERT_TRUE(peer_.Send(Stream(kPortQueueCapacity + 300, 1)));
  ASSERT_TRUE(port_->WaitForRx(kPortQueueCapacity - 1, kDeadline));
  EXPECT_EQ(port_->PurgeRx(), 0);
  EXPECT_EQ(port_->RxCount(), 0);
  const Bytes marker = {0xA5, 0x5A};
  ASSERT_TRUE(peer_.Send(marker));
  EXPECT_EQ(ReadExactly(2), marker);
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
