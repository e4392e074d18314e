#include "link/comm_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "link/link_errors.h"
#include "support/fake_clock.h"
#include "support/pty_pair.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kDeadline{10000};
constexpr char kMissingDevice[] = "/dev/q7k-no-such-device";

// Byte i of a test stream; never the same byte twice in a row.
uint8_t StreamByte(size_t i) { return static_cast<uint8_t>(i * 13 + i / 256); }

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 0) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<uint8_t>(seed + StreamByte(i));
  }
  return bytes;
}

std::unique_ptr<CommPort> OpenPort(const std::string& name,
                                   int32_t baud = 9600) {
  return std::make_unique<CommPort>(name, PortSettings::Instrument(baud));
}

// Takes exactly count bytes from the port, sleeping between arrivals.
std::vector<uint8_t> ReadExactly(CommPort& port, size_t count) {
  std::vector<uint8_t> got;
  std::vector<uint8_t> block(kPortQueueCapacity + 1);
  while (got.size() < count) {
    if (!port.WaitForRx(0, kDeadline)) break;
    const int32_t n = std::min<int32_t>(
        port.RxCount(), static_cast<int32_t>(count - got.size()));
    if (port.Read(block.data(), n) != 0) break;
    got.insert(got.end(), block.begin(), block.begin() + n);
  }
  return got;
}

class CommPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty_.ok()) << pty_.error(); }

  // Writes the test stream until even the TxQueue is full: the far end
  // reads nothing, so the device backs up and the writer thread blocks.
  // A full queue alone proves nothing (the writer may not have run yet);
  // one it stops draining does. Returns the bytes written.
  size_t FillUntilBlocked(CommPort& port, PtyPeer& peer) {
    peer.SetReading(false);
    size_t total = 0;
    bool stuck = false;
    while (!stuck && total < (64u << 20) && port.status() == 0) {
      stuck = !port.WaitTxDrained(milliseconds(200));
      // TxFree only grows between the look and the Write: each write fits.
      while (port.TxFree() > 0) {
        std::vector<uint8_t> chunk(static_cast<size_t>(port.TxFree()));
        for (size_t i = 0; i < chunk.size(); ++i) {
          chunk[i] = StreamByte(total + i);
        }
        EXPECT_EQ(port.Write(chunk.data(), static_cast<int32_t>(chunk.size())),
                  0);
        total += chunk.size();
      }
    }
    EXPECT_TRUE(stuck) << "output never backed up";
    return total;
  }

  PtyPair pty_;
};

TEST_F(CommPortTest, MovesBytesBothWays) {
  auto port = OpenPort(pty_.slavePath());
  ASSERT_EQ(port->status(), 0);
  PtyPeer peer(pty_.master());

  // Bytes a cooked terminal would swallow or act on go through untouched.
  const std::vector<uint8_t> out = {0x10, 0x02, 0x03, 0x11, 0x13,
                                    0x0D, 0x0A, 0x7F, 0x00, 0xFF};
  EXPECT_EQ(port->Write(out.data(), static_cast<int32_t>(out.size())), 0);
  EXPECT_EQ(port->lastCount(), 10);
  ASSERT_TRUE(peer.WaitReceived(10));
  EXPECT_EQ(peer.Received(), out);

  peer.Send(out);
  ASSERT_TRUE(port->WaitForRx(out.size() - 1, kDeadline));
  uint8_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  EXPECT_EQ(port->Peek(buffer, 15), 0);  // copies without taking
  EXPECT_EQ(port->lastCount(), 10);
  EXPECT_EQ(buffer[10], 0);
  EXPECT_EQ(port->RxCount(), 10);
  EXPECT_EQ(port->ReadByte(), 0x10);
  EXPECT_EQ(port->Read(buffer, 9), 0);
  EXPECT_EQ(port->lastCount(), 9);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 9),
            std::vector<uint8_t>(out.begin() + 1, out.end()));
  EXPECT_EQ(buffer[9], 0);  // terminated after the bytes
  EXPECT_EQ(port->status(), 0);
}

// The reader stops at 2048 queued bytes and resumes when the client takes
// some; nothing is lost or reordered on the way.
TEST_F(CommPortTest, FullReceiveQueueHoldsBackInput) {
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  const std::vector<uint8_t> sent = Pattern(5000, 7);
  peer.Send(sent);

  ASSERT_TRUE(port->WaitForRx(kPortQueueCapacity - 1, kDeadline));
  EXPECT_EQ(port->RxCount(), static_cast<int32_t>(kPortQueueCapacity));
  EXPECT_EQ(port->RxFree(), 0);
  EXPECT_EQ(ReadExactly(*port, sent.size()), sent);
  EXPECT_EQ(port->status(), 0);
}

// Every -98 failure is sticky: later calls return it without trying.
TEST_F(CommPortTest, ShortTransfersFailThePortForGood) {
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  peer.Send({1, 2, 3, 4});
  ASSERT_TRUE(port->WaitForRx(3, kDeadline));
  uint8_t buffer[11];
  EXPECT_EQ(port->Read(buffer, 10), kPortShortTransfer);
  EXPECT_EQ(port->lastCount(), 4);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5),
            (std::vector<uint8_t>{1, 2, 3, 4, 0}));
  EXPECT_EQ(port->ErrorMessageId(port->status()), 7432);
  const uint8_t b = 9;
  EXPECT_EQ(port->Write(&b, 1), kPortShortTransfer);
  EXPECT_EQ(port->lastCount(), 0);
  EXPECT_EQ(port->SetXonXoff(1), kPortShortTransfer);
  EXPECT_EQ(port->PurgeRx(), kPortShortTransfer);
  EXPECT_EQ(port->Peek(buffer, 1), kPortShortTransfer);
  EXPECT_TRUE(port->WaitForRx(100, milliseconds(0)));  // failed: no wait

  port.reset();
  port = OpenPort(pty_.slavePath());
  EXPECT_EQ(port->ReadByte(), kPortShortTransfer);  // nothing there
  EXPECT_EQ(port->status(), kPortShortTransfer);
}

TEST_F(CommPortTest, OverfullWritesQueueWhatFits) {
  auto port = OpenPort(pty_.slavePath());
  {
    PtyPeer peer(pty_.master());
    const std::vector<uint8_t> bytes = Pattern(3000);
    EXPECT_EQ(port->Write(bytes.data(), 3000), kPortShortTransfer);
    EXPECT_EQ(port->lastCount(), static_cast<int32_t>(kPortQueueCapacity));
    // The bytes that fitted still go out, and no others.
    ASSERT_TRUE(peer.WaitReceived(kPortQueueCapacity));
    EXPECT_EQ(peer.Received(),
              std::vector<uint8_t>(bytes.begin(),
                                   bytes.begin() + kPortQueueCapacity));
  }
  port.reset();
  port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  FillUntilBlocked(*port, peer);
  EXPECT_EQ(port->WriteByte(1), kPortShortTransfer);
  EXPECT_EQ(port->TxCount(), static_cast<int32_t>(kPortQueueCapacity));
}

TEST_F(CommPortTest, OpenFailuresLeaveAPortWithoutThreads) {
  auto port = OpenPort(kMissingDevice);
  EXPECT_EQ(port->status(), kPortNotFound);
  EXPECT_EQ(port->osError(), static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(port->ErrorMessageId(port->status()), 7428);
  EXPECT_TRUE(port->WaitThreadsEnded(milliseconds(0)));
  EXPECT_EQ(port->PurgeTx(), kPortNotFound);
  EXPECT_EQ(port->SendBreak(10), 0);
  // Without a device the settings have nowhere to go.
  EXPECT_EQ(port->Configure(9600, 'N', 8, 1), kPortSettingsFailed);
  EXPECT_EQ(port->status(), kPortNotFound);
  // CommPort's own message ids; the shared ones are SerialDevice's.
  EXPECT_EQ(port->ErrorMessageId(-195), 7434);
  EXPECT_EQ(port->ErrorMessageId(-196), 7435);
  EXPECT_EQ(port->ErrorMessageId(-197), 7436);

  port = OpenPort("/dev/null");
  EXPECT_EQ(port->status(), kPortOsError);
  EXPECT_EQ(port->osError(), static_cast<uint32_t>(ENOTTY));
  EXPECT_EQ(port->ErrorMessageId(port->status()), 7436);

  // A bad setting given at creation fails the open.
  PortSettings bad = PortSettings::Instrument(9600);
  bad.stopBits = 3;
  port = std::make_unique<CommPort>(pty_.slavePath(), bad);
  EXPECT_EQ(port->status(), kPortBadStopBits);
  EXPECT_EQ(port->ErrorMessageId(port->status()), 7429);
  EXPECT_TRUE(port->WaitThreadsEnded(milliseconds(0)));
  // The device was closed again.
  EXPECT_EQ(OpenPort(pty_.slavePath())->status(), 0);
}

TEST_F(CommPortTest, SecondOpenIsRefused) {
  auto first = OpenPort(pty_.slavePath());
  ASSERT_EQ(first->status(), 0);
  auto second = OpenPort(pty_.slavePath());
  EXPECT_EQ(second->status(), kPortInUse);
  EXPECT_EQ(second->ErrorMessageId(second->status()), 7427);
  second.reset();

  // The refused port took nothing from the holder.
  PtyPeer peer(pty_.master());
  peer.Send({5});
  EXPECT_EQ(ReadExactly(*first, 1), std::vector<uint8_t>{5});
}

TEST_F(CommPortTest, ConfigureRejectsBadSettingsWithoutFailingThePort) {
  auto port = OpenPort(pty_.slavePath(), 19200);
  ASSERT_EQ(port->status(), 0);
  EXPECT_EQ(port->Configure(-1, 'x', -1, -1), kPortBadParity);
  EXPECT_EQ(port->parity(), 'N');
  EXPECT_EQ(port->Configure(-1, -1, 4, -1), kPortBadDataBits);
  EXPECT_EQ(port->dataBits(), 8);
  // The last failure found wins; the valid rate still reaches the device.
  EXPECT_EQ(port->Configure(57600, 'x', 9, 3), kPortBadStopBits);
  EXPECT_EQ(port->baud(), 57600u);
  EXPECT_EQ(port->stopBits(), 1);
  EXPECT_EQ(port->status(), 0);
  // A rejected setting does not poison the next setter.
  EXPECT_EQ(port->SetXonXoff(5), 1);
  EXPECT_EQ(port->SetXonXoff(-1), 1);
  EXPECT_EQ(port->status(), 0);
  EXPECT_EQ(port->Configure(-1, 'e', 7, 2), 0);
  EXPECT_EQ(port->parity(), 'E');
  EXPECT_EQ(port->dataBits(), 7);
  EXPECT_EQ(port->stopBits(), 2);
}

TEST_F(CommPortTest, LinesAndHandshakes) {
  auto port = OpenPort(pty_.slavePath());
  EXPECT_EQ(port->SetDtr(0), 0);  // no modem lines on a pty: no failure
  EXPECT_EQ(port->CarrierDetect(), 0);
  EXPECT_EQ(port->ParityError(1), 0);
  EXPECT_EQ(port->status(), 0);

  // Setting DTR by hand under the DSR handshake fails the port; a query
  // is no attempt.
  EXPECT_EQ(port->SetDsrHandshake(1), 1);
  EXPECT_EQ(port->SetDtr(-1), 0);
  EXPECT_EQ(port->status(), 0);
  EXPECT_EQ(port->SetDtr(1), kPortHandshakeInUse);
  EXPECT_EQ(port->ErrorMessageId(port->status()), 7434);
  uint8_t b = 0;
  EXPECT_EQ(port->Write(&b, 1), kPortHandshakeInUse);

  port.reset();
  port = OpenPort(pty_.slavePath());
  EXPECT_EQ(port->SetCtsHandshake(1), 1);
  EXPECT_EQ(port->SetRts(0), kPortHandshakeInUse);
  EXPECT_EQ(port->status(), kPortHandshakeInUse);
}

// The instrument's rates with no standard constant are set, and a port
// opened with -1 reads them back from the device.
TEST_F(CommPortTest, InstrumentRatesReachTheDevice) {
  for (int32_t rate : {112500, 128000, 14400}) {
    {
      auto port = OpenPort(pty_.slavePath(), rate);
      ASSERT_EQ(port->status(), 0) << rate;
    }
    auto reopened = OpenPort(pty_.slavePath(), -1);
    ASSERT_EQ(reopened->status(), 0);
    EXPECT_EQ(reopened->baud(), static_cast<uint32_t>(rate));
  }
}

// Also with the writer blocked on a full device.
TEST_F(CommPortTest, ClosedFarEndFailsThePortAndEndsThreads) {
  auto port = OpenPort(pty_.slavePath());
  {
    PtyPeer peer(pty_.master());
    FillUntilBlocked(*port, peer);
  }
  pty_.CloseMaster();
  EXPECT_TRUE(port->WaitThreadsEnded(kDeadline));
  EXPECT_EQ(port->status(), kPortOsError);
  EXPECT_EQ(port->osError(), static_cast<uint32_t>(EIO));
  EXPECT_EQ(port->ErrorMessageId(port->status()), 7436);
  EXPECT_EQ(port->WriteByte(1), kPortOsError);
}

TEST_F(CommPortTest, BreakIsCappedAndHoldsBackLaterBytes) {
  FakeClock clock;
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  EXPECT_EQ(port->WriteByte('a'), 0);
  EXPECT_EQ(port->SendBreak(5000), 0);
  EXPECT_EQ(port->breakMs(), kMaxBreakMs);
  EXPECT_EQ(port->WriteByte('b'), 0);
  ASSERT_TRUE(peer.WaitReceived(1));
  // 'b' waits for the whole break, which is not 5 s long.
  EXPECT_EQ(clock.AdvanceToNextDeadline(), milliseconds(kMaxBreakMs));
  ASSERT_TRUE(peer.WaitReceived(2));
  EXPECT_EQ(peer.Received(), (std::vector<uint8_t>{'a', 'b'}));

  EXPECT_EQ(port->SendBreak(-5), 0);
  EXPECT_EQ(port->breakMs(), 0);
}

TEST_F(CommPortTest, DestructionAbortsABlockedWriteOrABreak) {
  auto port = OpenPort(pty_.slavePath());
  {
    PtyPeer peer(pty_.master());
    FillUntilBlocked(*port, peer);
    auto destroyed = std::async(std::launch::async, [&] { port.reset(); });
    ASSERT_EQ(destroyed.wait_for(kDeadline), std::future_status::ready);
  }
  FakeClock clock;  // never moves: only the destruction can end the break
  port = OpenPort(pty_.slavePath());  // closed and released
  ASSERT_EQ(port->status(), 0);
  PtyPeer peer(pty_.master());
  EXPECT_EQ(port->WriteByte('a'), 0);
  EXPECT_EQ(port->SendBreak(kMaxBreakMs), 0);
  ASSERT_TRUE(peer.WaitReceived(1));  // the break follows right after 'a'
  auto destroyed = std::async(std::launch::async, [&] { port.reset(); });
  ASSERT_EQ(destroyed.wait_for(kDeadline), std::future_status::ready);
}

TEST_F(CommPortTest, PurgeRxDropsEarlierBytesAndKeepsLaterOnes) {
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  // Earlier bytes are caught wherever they are: in the queue, read by the
  // reader thread but not queued, or still in the device.
  for (uint8_t round = 0; round < 50; ++round) {
    peer.Send(Pattern(300, round));
    ASSERT_TRUE(peer.WaitSent());
    EXPECT_EQ(port->PurgeRx(), 0);
    const std::vector<uint8_t> later = {0xA5, round, 0x5A};
    peer.Send(later);
    ASSERT_EQ(ReadExactly(*port, later.size()), later) << int(round);
    ASSERT_EQ(port->RxCount(), 0);
  }
  EXPECT_EQ(port->status(), 0);
}

TEST_F(CommPortTest, PurgeRxRestartsAReaderStoppedByAFullQueue) {
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  peer.Send(Pattern(kPortQueueCapacity));
  ASSERT_TRUE(port->WaitForRx(kPortQueueCapacity - 1, kDeadline));
  EXPECT_EQ(port->PurgeRx(), 0);
  EXPECT_EQ(port->RxCount(), 0);
  ASSERT_TRUE(peer.WaitSent());
  peer.Send({1, 2});
  EXPECT_EQ(ReadExactly(*port, 2), (std::vector<uint8_t>{1, 2}));
}

TEST_F(CommPortTest, PurgeTxDropsQueuedOutput) {
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  const size_t written = FillUntilBlocked(*port, peer);
  EXPECT_EQ(port->PurgeTx(), 0);
  EXPECT_EQ(port->TxCount(), 0);
  EXPECT_TRUE(port->WaitTxDrained(milliseconds(0)));

  const std::vector<uint8_t> marker = {0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(port->Write(marker.data(), 4), 0);
  peer.SetReading(true);
  ASSERT_TRUE(peer.WaitFor([&](const std::vector<uint8_t>& got) {
    return got.size() >= 4 &&
           std::equal(marker.begin(), marker.end(), got.end() - 4);
  }));
  // The stream never holds 0xEE twice in a row, so the marker came last and
  // alone; before it, an unbroken start of the stream without the purged
  // TxQueue.
  const std::vector<uint8_t> got = peer.Received();
  const size_t before = got.size() - marker.size();
  for (size_t i = 0; i < before; ++i) {
    ASSERT_EQ(got[i], StreamByte(i)) << "at " << i;
  }
  EXPECT_LE(before, written - kPortQueueCapacity);
  EXPECT_EQ(port->status(), 0);
}

// The client-thread path keeps the byte order of the threads' path in both
// directions, whatever the threads still hold.
TEST_F(CommPortTest, DirectTransfersKeepTheOrder) {
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  std::vector<uint8_t> expected;
  for (uint8_t round = 0; round < 20; ++round) {
    const std::vector<uint8_t> queued = Pattern(700, round);
    const std::vector<uint8_t> direct = {0xEE, round, 0xEE};
    ASSERT_TRUE(port->WaitTxDrained(kDeadline));  // room for the round
    ASSERT_EQ(port->Write(queued.data(), 700), 0);
    ASSERT_EQ(port->WriteDirect(direct.data(), 3), 0);
    EXPECT_EQ(port->lastCount(), 3);
    expected.insert(expected.end(), queued.begin(), queued.end());
    expected.insert(expected.end(), direct.begin(), direct.end());
  }
  ASSERT_TRUE(peer.WaitReceived(expected.size()));
  EXPECT_EQ(peer.Received(), expected);

  // Received: what the reader thread queued comes before what the device
  // still holds, and a parked reader leaves the device to the client.
  peer.Send({1, 2});
  ASSERT_TRUE(port->WaitForRx(1, kDeadline));
  peer.Send({3});
  ASSERT_TRUE(peer.WaitSent());
  std::vector<uint8_t> got;
  uint8_t block[16];
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (got.size() < 3) {
    const int32_t n = port->ReadDirect(block, sizeof block, deadline);
    ASSERT_GE(n, 0);
    got.insert(got.end(), block, block + n);
  }
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3}));
  peer.Send({4});
  ASSERT_TRUE(peer.WaitSent());
  EXPECT_EQ(port->ReadDirect(block, sizeof block, deadline), 1);
  EXPECT_EQ(block[0], 4);
  EXPECT_EQ(port->RxCount(), 0);
}

TEST_F(CommPortTest, DirectWritesWaitForABreak) {
  FakeClock clock;
  auto port = OpenPort(pty_.slavePath());
  PtyPeer peer(pty_.master());
  EXPECT_EQ(port->WriteByte('a'), 0);
  EXPECT_EQ(port->SendBreak(100), 0);
  ASSERT_TRUE(peer.WaitReceived(1));
  const uint8_t b = 'b';
  EXPECT_EQ(port->WriteDirect(&b, 1), 0);
  EXPECT_EQ(port->TxCount(), 1);  // pending or held, the break goes first
  EXPECT_EQ(clock.AdvanceToNextDeadline(), milliseconds(100));
  ASSERT_TRUE(peer.WaitReceived(2));
  EXPECT_EQ(peer.Received(), (std::vector<uint8_t>{'a', 'b'}));
}

TEST_F(CommPortTest, DirectReadEndsAtTheDeadlineOrAHangUp) {
  auto port = OpenPort(pty_.slavePath());
  uint8_t block[16];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port->ReadDirect(block, sizeof block, start + milliseconds(20)), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(20));

  auto read = std::async(std::launch::async, [&] {
    return port->ReadDirect(block, sizeof block,
                            std::chrono::steady_clock::now() + kDeadline);
  });
  pty_.CloseMaster();
  ASSERT_EQ(read.wait_for(kDeadline), std::future_status::ready);
  EXPECT_EQ(read.get(), kPortOsError);
  EXPECT_EQ(port->osError(), static_cast<uint32_t>(EIO));
  EXPECT_TRUE(port->WaitThreadsEnded(kDeadline));
  EXPECT_EQ(port->WriteDirect(block, 1), kPortOsError);
}

}  // namespace
}  // namespace q7k
