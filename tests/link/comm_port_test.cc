// CommPort, and the defaults of the SerialDevice it implements.
#include "link/comm_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "link/link_errors.h"
#include "link/serial_device.h"
#include "support/fake_clock.h"
#include "support/port_transfers.h"
#include "support/pty_pair.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;

std::unique_ptr<CommPort> OpenPort(const std::string& name,
                                   int32_t baud = 9600) {
  return std::make_unique<CommPort>(name, PortSettings::Instrument(baud));
}

// A port whose threads wait for a call that needs them, as the link's do.
class OnDemandPort : public CommPort {
 public:
  explicit OnDemandPort(const std::string& path)
      : CommPort(ThreadStart::kWhenNeeded, path,
                 PortSettings::Instrument(9600)) {}
  ~OnDemandPort() override { StopThreads(); }
};

class CommPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty_.ok()) << pty_.error(); }

  // (Re)opens port_ on the pseudo-terminal, with a fresh far end reading.
  CommPort& Open(int32_t baud = 9600, bool onDemand = false) {
    peer_.reset();
    port_.reset();  // released before the next open
    port_ = onDemand ? std::make_unique<OnDemandPort>(pty_.slavePath())
                     : OpenPort(pty_.slavePath(), baud);
    peer_ = std::make_unique<PtyPeer>(pty_.master());
    return *port_;
  }
  // Pulls the cable: no peer may use the master any more.
  void CloseFarEnd() {
    peer_.reset();
    pty_.CloseMaster();
  }

  // Writes the test stream until even the TxQueue is full: the far end
  // reads nothing, so the device backs up and the writer thread blocks.
  // A full queue alone proves nothing (the writer may not have run yet);
  // one it stops draining does. Returns the bytes written.
  size_t FillUntilBlocked() {
    CommPort& port = *port_;
    peer_->SetReading(false);
    size_t total = 0;
    bool stuck = false;
    while (!stuck && total < (64u << 20) && port.status() == 0) {
      stuck = !port.WaitTxDrained(milliseconds(200));
      // TxFree only grows between the look and the Write: each write fits.
      while (port.TxFree() > 0) {
        const Bytes chunk = Stream(total, port.TxFree());
        EXPECT_EQ(port.Write(chunk.data(), static_cast<int32_t>(chunk.size())),
                  0);
        total += chunk.size();
      }
    }
    EXPECT_TRUE(stuck) << "output never backed up";
    return total;
  }
  // Destroys port_ on another thread; it must not hang.
  void DestroyPortInTime() {
    auto destroyed = std::async(std::launch::async, [&] { port_.reset(); });
    ASSERT_EQ(destroyed.wait_for(kPtyDeadline), std::future_status::ready);
  }

  std::unique_ptr<FakeClock> clock_;  // outlives the port's threads
  PtyPair pty_;
  std::unique_ptr<CommPort> port_;
  std::unique_ptr<PtyPeer> peer_;
};

TEST_F(CommPortTest, MovesBytesBothWays) {
  CommPort& port = Open();
  // Bytes a cooked terminal would swallow or act on go through untouched.
  const Bytes out = {0x10, 0x02, 0x03, 0x11, 0x13, 0x0D, 0x0A, 0x7F, 0, 0xFF};
  EXPECT_EQ(port.Write(out.data(), static_cast<int32_t>(out.size())), 0);
  EXPECT_EQ(port.lastCount(), 10);
  ASSERT_TRUE(peer_->WaitReceived(10));
  EXPECT_EQ(peer_->Received(), out);

  peer_->Send(out);
  ASSERT_TRUE(port.WaitForRx(out.size() - 1, kPtyDeadline));
  uint8_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  EXPECT_EQ(port.Peek(buffer, 15), 0);  // copies without taking
  EXPECT_EQ(port.lastCount(), 10);
  EXPECT_EQ(buffer[10], 0);
  EXPECT_EQ(port.RxCount(), 10);
  EXPECT_EQ(port.ReadByte(), 0x10);
  EXPECT_EQ(port.Read(buffer, 9), 0);
  EXPECT_EQ(port.lastCount(), 9);
  EXPECT_EQ(Bytes(buffer, buffer + 9), Bytes(out.begin() + 1, out.end()));
  EXPECT_EQ(buffer[9], 0);  // terminated after the bytes
  EXPECT_EQ(port.status(), 0);
}

// The reader stops at 2048 queued bytes and resumes when the client takes
// some; nothing is lost or reordered.
TEST_F(CommPortTest, FullReceiveQueueHoldsBackInput) {
  CommPort& port = Open();
  const Bytes sent = Stream(7, 5000);
  peer_->Send(sent);
  ASSERT_TRUE(port.WaitForRx(kPortQueueCapacity - 1, kPtyDeadline));
  EXPECT_EQ(port.RxCount(), static_cast<int32_t>(kPortQueueCapacity));
  EXPECT_EQ(port.RxFree(), 0);
  EXPECT_EQ(ReadExactly(port, sent.size()), sent);
  EXPECT_EQ(port.status(), 0);
}

// Every -98 failure is sticky: later calls return it without trying. An
// overfull write still sends the bytes that fitted.
TEST_F(CommPortTest, ShortTransfersFailThePortForGood) {
  CommPort& port = Open();
  peer_->Send({1, 2, 3, 4});
  ASSERT_TRUE(port.WaitForRx(3, kPtyDeadline));
  uint8_t buffer[11];
  EXPECT_EQ(port.Read(buffer, 10), kPortShortTransfer);
  EXPECT_EQ(port.lastCount(), 4);
  EXPECT_EQ(Bytes(buffer, buffer + 5), (Bytes{1, 2, 3, 4, 0}));
  const uint8_t b = 9;
  EXPECT_EQ(port.Write(&b, 1), kPortShortTransfer);
  EXPECT_EQ(port.lastCount(), 0);
  EXPECT_EQ(port.SetXonXoff(1), kPortShortTransfer);
  EXPECT_EQ(port.PurgeRx(), kPortShortTransfer);
  EXPECT_EQ(port.Peek(buffer, 1), kPortShortTransfer);
  EXPECT_TRUE(port.WaitForRx(100, milliseconds(0)));  // failed: no wait

  EXPECT_EQ(Open().ReadByte(), kPortShortTransfer);  // nothing there
  EXPECT_EQ(port_->status(), kPortShortTransfer);

  // An overfull write queues what fits.
  const Bytes bytes = Stream(0, 3000);
  EXPECT_EQ(Open().Write(bytes.data(), 3000), kPortShortTransfer);
  EXPECT_EQ(port_->lastCount(), static_cast<int32_t>(kPortQueueCapacity));
  // The bytes that fitted still go out, and no others.
  ASSERT_TRUE(peer_->WaitReceived(kPortQueueCapacity));
  EXPECT_EQ(peer_->Received(),
            Bytes(bytes.begin(), bytes.begin() + kPortQueueCapacity));

  Open();
  FillUntilBlocked();
  EXPECT_EQ(port_->WriteByte(1), kPortShortTransfer);
  EXPECT_EQ(port_->TxCount(), static_cast<int32_t>(kPortQueueCapacity));
}

// CommPort's own ids; the shared ones are SerialDevice's.
TEST_F(CommPortTest, OpenFailuresLeaveAPortWithoutThreads) {
  auto port = OpenPort("/dev/q7k-no-such-device");
  EXPECT_EQ(port->status(), kPortNotFound);
  EXPECT_EQ(port->osError(), static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(port->WaitThreadsEnded(milliseconds(0)));
  EXPECT_EQ(port->PurgeTx(), kPortNotFound);
  EXPECT_EQ(port->SendBreak(10), 0);
  // Without a device the settings have nowhere to go.
  EXPECT_EQ(port->Configure(9600, 'N', 8, 1), kPortSettingsFailed);
  EXPECT_EQ(port->status(), kPortNotFound);

  port = OpenPort("/dev/null");
  EXPECT_EQ(port->status(), kPortOsError);
  EXPECT_EQ(port->osError(), static_cast<uint32_t>(ENOTTY));

  // A bad setting given at creation fails the open.
  PortSettings bad = PortSettings::Instrument(9600);
  bad.stopBits = 3;
  port = std::make_unique<CommPort>(pty_.slavePath(), bad);
  EXPECT_EQ(port->status(), kPortBadStopBits);
  EXPECT_TRUE(port->WaitThreadsEnded(milliseconds(0)));
  // The device was closed again.
  EXPECT_EQ(Open().status(), 0);
  // Further opens are refused, and take nothing from the holder (not even
  // its hold on the device).
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(OpenPort(pty_.slavePath())->status(), kPortInUse);
  }
  peer_->Send({5});
  EXPECT_EQ(ReadExactly(*port_, 1), Bytes{5});
}

TEST_F(CommPortTest, ConfigureRejectsBadSettingsWithoutFailingThePort) {
  CommPort& port = Open(19200);
  ASSERT_EQ(port.status(), 0);
  EXPECT_EQ(port.Configure(-1, 'x', -1, -1), kPortBadParity);
  EXPECT_EQ(port.parity(), 'N');
  EXPECT_EQ(port.Configure(-1, -1, 4, -1), kPortBadDataBits);
  EXPECT_EQ(port.dataBits(), 8);
  // The last failure found wins; the valid rate still reaches the device.
  EXPECT_EQ(port.Configure(57600, 'x', 9, 3), kPortBadStopBits);
  EXPECT_EQ(port.baud(), 57600u);
  EXPECT_EQ(port.stopBits(), 1);
  // A rejected setting does not poison the next setter.
  EXPECT_EQ(port.SetXonXoff(5), 1);
  EXPECT_EQ(port.SetXonXoff(-1), 1);
  EXPECT_EQ(port.status(), 0);
  EXPECT_EQ(port.Configure(-1, 'e', 7, 2), 0);
  EXPECT_EQ(port.parity(), 'E');
  EXPECT_EQ(port.dataBits(), 7);
  EXPECT_EQ(port.stopBits(), 2);
}

TEST_F(CommPortTest, LinesAndHandshakes) {
  CommPort& port = Open();
  EXPECT_EQ(port.SetDtr(0), 0);  // no modem lines on a pty: no failure
  EXPECT_EQ(port.CarrierDetect(), 0);
  EXPECT_EQ(port.ParityError(1), 0);
  // Setting DTR by hand under the DSR handshake fails the port; a query
  // is no attempt.
  EXPECT_EQ(port.SetDsrHandshake(1), 1);
  EXPECT_EQ(port.SetDtr(-1), 0);
  EXPECT_EQ(port.status(), 0);
  EXPECT_EQ(port.SetDtr(1), kPortHandshakeInUse);
  uint8_t b = 0;
  EXPECT_EQ(port.Write(&b, 1), kPortHandshakeInUse);

  EXPECT_EQ(Open().SetCtsHandshake(1), 1);
  EXPECT_EQ(port_->SetRts(0), kPortHandshakeInUse);
  EXPECT_EQ(port_->status(), kPortHandshakeInUse);
}

// The instrument's rates with no standard constant are set, and a port
// opened with -1 reads them back from the device.
TEST_F(CommPortTest, InstrumentRatesReachTheDevice) {
  for (int32_t rate : {112500, 128000, 14400}) {
    ASSERT_EQ(Open(rate).status(), 0) << rate;
    ASSERT_EQ(Open(-1).status(), 0);
    EXPECT_EQ(port_->baud(), static_cast<uint32_t>(rate));
  }
}

// A break is capped, and bytes after it, queued or direct, wait for all of
// it.
TEST_F(CommPortTest, BytesAfterABreakWaitForIt) {
  clock_ = std::make_unique<FakeClock>();
  for (bool direct : {false, true}) {
    SCOPED_TRACE(direct);
    CommPort& port = Open();
    EXPECT_EQ(port.WriteByte('a'), 0);
    EXPECT_EQ(port.SendBreak(5000), 0);
    EXPECT_EQ(port.breakMs(), kMaxBreakMs);
    ASSERT_TRUE(peer_->WaitReceived(1));
    const uint8_t b = 'b';
    EXPECT_EQ(direct ? port.WriteDirect(&b, 1) : port.WriteByte(b), 0);
    if (direct) {
      EXPECT_EQ(port.TxCount(), 1);  // pending or held, the break goes first
    }
    EXPECT_EQ(clock_->AdvanceToNextDeadline(), milliseconds(kMaxBreakMs));
    ASSERT_TRUE(peer_->WaitReceived(2));
    EXPECT_EQ(peer_->Received(), (Bytes{'a', 'b'}));
  }
  EXPECT_EQ(port_->SendBreak(-5), 0);
  EXPECT_EQ(port_->breakMs(), 0);
}

TEST_F(CommPortTest, DestructionAbortsABlockedWriteOrABreak) {
  Open();
  FillUntilBlocked();
  DestroyPortInTime();
  // A clock that never moves: only the destruction can end the break.
  clock_ = std::make_unique<FakeClock>();
  ASSERT_EQ(Open().status(), 0);  // closed and released
  EXPECT_EQ(port_->WriteByte('a'), 0);
  EXPECT_EQ(port_->SendBreak(kMaxBreakMs), 0);
  ASSERT_TRUE(peer_->WaitReceived(1));  // the break follows right after 'a'
  DestroyPortInTime();
}

TEST_F(CommPortTest, PurgeRxDropsEarlierBytesAndKeepsLaterOnes) {
  CommPort& port = Open();
  // Earlier bytes are caught wherever they are: in the queue (first a full
  // one, which held the reader back), read by the reader thread but not
  // queued, or still in the device.
  for (uint8_t round = 0; round < 50; ++round) {
    peer_->Send(Stream(round * 300, round == 0 ? kPortQueueCapacity : 300));
    if (round == 0) {
      ASSERT_TRUE(port.WaitForRx(kPortQueueCapacity - 1, kPtyDeadline));
    }
    ASSERT_TRUE(peer_->WaitSent());
    EXPECT_EQ(port.PurgeRx(), 0);
    const Bytes later = {0xA5, round, 0x5A};
    peer_->Send(later);
    ASSERT_EQ(ReadExactly(port, later.size()), later) << int(round);
    ASSERT_EQ(port.RxCount(), 0);
  }
  EXPECT_EQ(port.status(), 0);
}

TEST_F(CommPortTest, PurgeTxDropsQueuedOutput) {
  CommPort& port = Open();
  const size_t written = FillUntilBlocked();
  EXPECT_EQ(port.PurgeTx(), 0);
  EXPECT_EQ(port.TxCount(), 0);
  EXPECT_TRUE(port.WaitTxDrained(milliseconds(0)));

  const Bytes marker = {0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(port.Write(marker.data(), 4), 0);
  peer_->SetReading(true);
  ASSERT_TRUE(peer_->WaitFor([&](const Bytes& got) {
    return got.size() >= 4 &&
           std::equal(marker.begin(), marker.end(), got.end() - 4);
  }));
  // The stream never holds 0xEE twice in a row, so the marker came last and
  // alone; before it, an unbroken start of the stream without the purged
  // TxQueue.
  const Bytes got = peer_->Received();
  const size_t before = got.size() - marker.size();
  for (size_t i = 0; i < before; ++i) {
    ASSERT_EQ(got[i], StreamByte(i)) << "at " << i;
  }
  EXPECT_LE(before, written - kPortQueueCapacity);
  EXPECT_EQ(port.status(), 0);
}

// The client-thread path keeps the byte order of the threads' path in both
// directions, whatever the threads still hold.
TEST_F(CommPortTest, DirectTransfersKeepTheOrder) {
  CommPort& port = Open();
  Bytes expected;
  for (uint8_t round = 0; round < 20; ++round) {
    const Bytes queued = Stream(round * 700, 700);
    const Bytes direct = {0xEE, round, 0xEE};
    ASSERT_TRUE(port.WaitTxDrained(kPtyDeadline));  // room for the round
    ASSERT_EQ(port.Write(queued.data(), 700), 0);
    ASSERT_EQ(port.WriteDirect(direct.data(), 3), 0);
    EXPECT_EQ(port.lastCount(), 3);
    expected.insert(expected.end(), queued.begin(), queued.end());
    expected.insert(expected.end(), direct.begin(), direct.end());
  }
  ASSERT_TRUE(peer_->WaitReceived(expected.size()));
  EXPECT_EQ(peer_->Received(), expected);

  // Received: what the reader thread queued comes before what the device
  // still holds, and a parked reader leaves the device to the client.
  peer_->Send({1, 2});
  ASSERT_TRUE(port.WaitForRx(1, kPtyDeadline));
  peer_->Send({3});
  ASSERT_TRUE(peer_->WaitSent());
  Bytes got(3);
  EXPECT_EQ(ExchangeDirect(port, {}, &got), 0);
  EXPECT_EQ(got, (Bytes{1, 2, 3}));
  peer_->Send({4});
  ASSERT_TRUE(peer_->WaitSent());
  uint8_t block[16];  // more than is there: takes what is
  const auto deadline = std::chrono::steady_clock::now() + kPtyDeadline;
  EXPECT_EQ(port.ReadDirect(block, sizeof block, deadline).count, 1u);
  EXPECT_EQ(block[0], 4);
  EXPECT_EQ(port.RxCount(), 0);
}

TEST_F(CommPortTest, DirectReadEndsAtTheDeadlineOrAHangUp) {
  CommPort& port = Open();
  uint8_t block[16];
  const auto start = std::chrono::steady_clock::now();
  const PortTransfer none =
      port.ReadDirect(block, sizeof block, start + milliseconds(20));
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(none.status, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(20));

  // The hang-up fails the port for good, also with the writer blocked on a
  // full device, and ends its threads.
  FillUntilBlocked();
  auto read = std::async(std::launch::async, [&] {
    return port.ReadDirect(block, sizeof block,
                           std::chrono::steady_clock::now() + kPtyDeadline);
  });
  CloseFarEnd();
  ASSERT_EQ(read.wait_for(kPtyDeadline), std::future_status::ready);
  EXPECT_EQ(read.get().status, kPortOsError);
  EXPECT_EQ(port.osError(), static_cast<uint32_t>(EIO));
  EXPECT_TRUE(port.WaitThreadsEnded(kPtyDeadline));
  EXPECT_EQ(port.status(), kPortOsError);
  EXPECT_EQ(port.WriteDirect(block, 1), kPortOsError);
  EXPECT_EQ(port.WriteByte(1), kPortOsError);
}

// The client-thread path runs without threads; each kind of call that needs
// them starts them, and bytes that waited in the device, or that a direct
// write could not hand over, are not lost.
TEST_F(CommPortTest, ThreadsStartWhenACallNeedsThem) {
  const Bytes big = Stream(0, 512);
  size_t written = 1;
  const std::function<void(CommPort&)> needs[] = {
      [](CommPort& p) { p.RxCount(); },
      [](CommPort& p) { EXPECT_EQ(p.WriteByte('w'), 0); },
      [](CommPort& p) { p.SendBreak(0); },
      [](CommPort& p) { p.CarrierDetect(); },
      [&](CommPort& p) {  // a direct write the device does not take whole
        peer_->SetReading(false);
        while (p.TxCount() == 0 && p.status() == 0) {
          p.WriteDirect(big.data(), static_cast<int32_t>(big.size()));
          written += static_cast<size_t>(p.lastCount());
        }
      }};
  for (const auto& need : needs) {
    SCOPED_TRACE(&need - needs);
    CommPort& port = Open(9600, true);
    uint8_t b = 'd';
    ASSERT_EQ(port.WriteDirect(&b, 1), 0);
    peer_->Send({7});
    ASSERT_TRUE(peer_->WaitSent());
    const auto deadline = std::chrono::steady_clock::now() + kPtyDeadline;
    EXPECT_EQ(port.ReadDirect(&b, 1, deadline).count, 1u);
    EXPECT_TRUE(port.WaitThreadsEnded(milliseconds(0))) << "none started";

    peer_->Send({8});
    ASSERT_TRUE(peer_->WaitSent());
    need(port);
    EXPECT_FALSE(port.WaitThreadsEnded(milliseconds(0)));
    EXPECT_EQ(ReadExactly(port, 1), Bytes{8});
    peer_->SetReading(true);
    ASSERT_TRUE(peer_->WaitReceived(written));
    EXPECT_EQ(port.status(), 0);
  }
  // The last case's bytes went out whole and in order.
  const Bytes got = peer_->Received();
  ASSERT_EQ(got.size(), written);
  for (size_t i = 1; i < got.size(); ++i) {
    ASSERT_EQ(got[i], big[(i - 1) % big.size()]) << i;
  }
}

// A device whose receive buffer Read drains, and whose status a short Read
// sets, as a port's does; the calls below name SerialDevice's defaults.
class MinimalDevice : public CommPort {
 public:
  MinimalDevice()
      : CommPort("/dev/q7k-no-such-device", PortSettings::Instrument(9600)) {}
  std::vector<uint8_t> input;
  std::vector<int32_t> readSizes;
  int32_t status = 0;

  int32_t Read(uint8_t* buffer, int32_t max) override {
    readSizes.push_back(max);
    const size_t n = std::min(input.size(), static_cast<size_t>(max));
    std::copy(input.begin(), input.begin() + n, buffer);
    buffer[n] = 0;
    input.erase(input.begin(), input.begin() + n);
    if (static_cast<int32_t>(n) < max && status == 0) status = -98;
    return status;
  }
  int32_t RxCount() override { return static_cast<int32_t>(input.size()); }
};

// Asking only for what is waiting drains the input without tripping the
// device's short-read failure; a failing read ends the purge.
TEST(SerialDeviceTest, DefaultPurgeRxReadsWaitingBytesInBlocksOf32) {
  MinimalDevice device;
  device.input.assign(70, 0xAA);
  EXPECT_EQ(device.SerialDevice::PurgeRx(), 0);
  EXPECT_TRUE(device.input.empty());
  EXPECT_EQ(device.readSizes, (std::vector<int32_t>{32, 32, 6}));
  EXPECT_EQ(device.status, 0);
  EXPECT_EQ(device.SerialDevice::PurgeRx(), 0);  // nothing waiting: no read
  EXPECT_EQ(device.readSizes.size(), 3u);
  device.input.assign(5, 1);
  device.status = kPortOsError;
  EXPECT_EQ(device.SerialDevice::PurgeRx(), kPortOsError);
}

// SerialDevice's ids, and CommPort's own beside the shared ones it hands on.
TEST(SerialDeviceTest, ErrorMessageIds) {
  MinimalDevice device;
  const struct {
    int32_t code, shared, own;
  } ids[] = {{0, 7424, 7424},    {-95, 7429, 7429},  {-96, 7430, 7430},
             {-97, 7431, 7431},  {-98, 7432, 7432},  {-99, 7433, 7433},
             {-198, 7428, 7428}, {-199, 7427, 7427}, {-195, 7425, 7434},
             {-196, 7425, 7435}, {-197, 7425, 7436}, {-94, 7425, 7425},
             {-194, 7425, 7425}, {-201, 7425, 7425}, {1, 7425, 7425},
             {14, 7425, 7425},   {-1, 7425, 7425},   {-33, 7425, 7425},
             {-100, 7425, 7425}, {-200, 7425, 7425}};
  for (const auto& c : ids) {
    EXPECT_EQ(device.SerialDevice::ErrorMessageId(c.code), c.shared) << c.code;
    EXPECT_EQ(device.ErrorMessageId(c.code), c.own) << c.code;
  }
}

}  // namespace
}  // namespace q7k
