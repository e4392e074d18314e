// Transactions through the public API against a scripted instrument on a
// real pseudo-terminal.
#include "link/instrument_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>

#include "q7kcomm/host.h"
#include "q7kcomm/q7kcomm.h"
#include "support/scripted_component.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;

constexpr uint16_t kRegRead = 0x7E01;

using InstrumentLinkTest = ScriptedComponentTest;

TEST_F(InstrumentLinkTest, RequestBytesOnTheWire) {
  Connect([](const Request& r) {
    return LineBytes(
        AckFrame(r.command, r.command == kRegRead ? Le32(0) : Bytes{}));
  });
  EXPECT_EQ(comm_->StartPONSequence(), S_OK);
  EXPECT_EQ(peer_->Received(),
            (Bytes{0x10, 0x02, 0, 0, 0x02, 0, 0, 0, 0x02, 0, 0x10, 0x03}));

  // An address full of DLE bytes goes out doubled.
  int32_t value = 0;
  EXPECT_EQ(comm_->RegRead(0x10101010, &value), S_OK);
  const auto requests = instrument_->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].frame, (Bytes{0, 0, 0x01, 0x7E, 4, 0, 0x10, 0x10, 0x10,
                                      0x10, 0xC3, 0x00}));
  const Bytes wire = peer_->Received();
  const Bytes second(wire.begin() + 12, wire.end());
  EXPECT_EQ(second, (Bytes{0x10, 0x02, 0,    0,    0x01, 0x7E, 4,
                           0,    0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
                           0x10, 0x10, 0xC3, 0x00, 0x10, 0x03}));
}

TEST_F(InstrumentLinkTest, RepliesSplitWithNoiseAndDleRuns) {
  Connect([](const Request&) { return Bytes{}; });  // the test answers
  auto call = std::async(std::launch::async, [this] {
    int32_t value = 0;
    const HRESULT hr = comm_->RegRead(0x1234, &value);
    return std::make_pair(hr, value);
  });
  ASSERT_TRUE(peer_->WaitReceived(12));
  Bytes line = {0x55, 0x10, 0x03, 0xAA};  // noise, a stray DLE ETX
  const Bytes reply = LineBytes(AckFrame(kRegRead, Le32(0x10101002)));
  line.insert(line.end(), reply.begin(), reply.end());
  for (uint8_t b : line) {
    peer_->Send({b});
    ASSERT_TRUE(peer_->WaitSent());
  }
  const auto [hr, value] = call.get();
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(value, 0x10101002);
}

TEST_F(InstrumentLinkTest, StaleBytesAreNeverTheAnswer) {
  Connect(
      [](const Request& r) { return LineBytes(AckFrame(r.command, Le32(2))); });
  // A late reply to an earlier request, already waiting at the port.
  peer_->Send(LineBytes(AckFrame(kRegRead, Le32(1))));
  ASSERT_TRUE(peer_->WaitSent());
  int32_t value = 0;
  EXPECT_EQ(comm_->RegRead(0x600000, &value), S_OK);
  EXPECT_EQ(value, 2);
}

TEST_F(InstrumentLinkTest, TimeoutAfterFourSecondsWithBothDumps) {
  UseFakeClock();
  Connect([](const Request&) { return Bytes{}; });
  int32_t value = 77;
  auto call = std::async(std::launch::async,
                         [&] { return comm_->RegRead(0x20, &value); });
  // Past 4000 ms, not at it.
  EXPECT_EQ(clock_->AdvanceToNextDeadline(), milliseconds(4001));
  EXPECT_EQ(call.get(), E_FAIL);
  EXPECT_EQ(value, 77);
  EXPECT_EQ(Code(), 133);
  EXPECT_EQ(Message(), "No Response from Q7300, Check Connections");
  const std::string log = TraceLog();
  EXPECT_NE(log.find("TIMEOUT Error<-33>[l=0, to=4000]]\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("- [T] Error=133 @ "), std::string::npos);
  EXPECT_NE(
      log.find("[Transmit](12)\n  00 00 01 7e 04 00 20 00 00 00 a3 00 \n"),
      std::string::npos);
  EXPECT_NE(log.find("- [R] Error=133 @ "), std::string::npos);
  EXPECT_NE(log.find("[No Response from Q7300, Check Connections](0)\n"),
            std::string::npos);
}

// The good reply to RegRead with byte `at` set to `value`, re-summed unless
// the checksum itself is the fault; or a whole other frame.
struct FrameFault {
  const char* name;
  size_t at;
  uint8_t value;
  Bytes frame;  // non-empty: sent instead
  short code;
  const char* message;
  const char* traceLine;  // empty: none
};

Bytes Corrupted(const FrameFault& fault) {
  if (!fault.frame.empty()) return fault.frame;
  Bytes f = AckFrame(kRegRead, Le32(5));
  f[fault.at] = fault.value;
  return fault.code == 138 ? f : WithChecksum(f);
}

class FrameFaultTest : public InstrumentLinkTest,
                       public ::testing::WithParamInterface<FrameFault> {};

TEST_P(FrameFaultTest, RecordedWithItsCodeAndTrace) {
  const FrameFault& fault = GetParam();
  Connect([&fault](const Request&) { return LineBytes(Corrupted(fault)); });
  int32_t value = 9;
  EXPECT_EQ(comm_->RegRead(0x40, &value), E_FAIL);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(Code(), fault.code);
  EXPECT_EQ(Message(), fault.message);
  const std::string log = TraceLog();  // written with trace off
  EXPECT_NE(log.find(fault.traceLine), std::string::npos) << log;
  if (std::string(fault.name) != "ShortOfTheLayout") {
    EXPECT_NE(log.find("[Transmit](12)"), std::string::npos);
  }
  EXPECT_NE(log.find(std::string("[") + fault.message + "]("),
            std::string::npos);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Faults, FrameFaultTest, ::testing::Values(
    FrameFault{"Checksum", 7, 0x04, {}, 138, "Invalid Message Checksum",
               "Message Checksum Error["},
    FrameFault{"Length", 4, 6, {}, 139, "Invalid Message Length",
               "Message Length Error[6,5]"},
    FrameFault{"Number", 2, 0x00, {}, 137, "Invalid Message Number",
               "Message Number Error[33024,33279]"},
    FrameFault{"AckNak", 6, 0x07, {}, 140, "Invalid Message ACK/NAK Byte", ""},
    FrameFault{"TooLongForTheBuffer", 0, 0,
               AckFrame(kRegRead, Bytes(400, 0x11)), 135, "Undefined Error",
               "MSGLEN Error<-35>"},
    FrameFault{"ShortOfTheLayout", 0, 0, AckFrame(kRegRead, {1, 2}), 139,
               "Invalid Message Length", ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(InstrumentLinkTest, NegativeRepliesReachErrorCodeAndMsg) {
  struct Nak {
    int16_t number;
    HRESULT result;
    short code;
    const char* message;  // null: not checked
  };
  // The decoding is ErrorStateTest's (details: EepromReadTest); here the
  // way to the caller.
  const Nak naks[] = {
      {5, E_FAIL, 5, "Not Enough Free Space in FLASH for Application"},
      {4, E_FAIL, 4, "Test is Currently Running"},  // no details
      // An instrument number, not a checksum failure.
      {-38, E_FAIL, -1, "Undefined Error"},
      {0, S_OK, -1, nullptr},  // a NAK with error number 0 is a success
  };
  // The script runs on the peer's thread: the next answer is set under a
  // lock.
  std::mutex mutex;
  const Nak* next = &naks[0];
  Connect([&](const Request& r) {
    std::lock_guard<std::mutex> lock(mutex);
    return LineBytes(NakFrame(r.command, next->number));
  });
  for (const Nak& nak : naks) {
    SCOPED_TRACE(nak.number);
    {
      std::lock_guard<std::mutex> lock(mutex);
      next = &nak;
    }
    EXPECT_EQ(comm_->StopQ7kTest(), nak.result);
    if (nak.result == S_OK) continue;
    EXPECT_EQ(Code(), nak.code);
    if (nak.message != nullptr) {
      EXPECT_EQ(Message(), nak.message);
    }
  }
  EXPECT_NE(TraceLog().find("- [R] Error=5 @ "), std::string::npos);
  // Orders the script's last look at these locals before they go.
  std::lock_guard<std::mutex> lock(mutex);
}

TEST_F(InstrumentLinkTest, TraceEntriesPerCommand) {
  comm_->put_EnableTrace(1);
  Connect([](const Request& r) {
    if (r.command == 0x0006) {
      Bytes data(146, 0);
      return LineBytes(AckFrame(r.command, data));
    }
    return LineBytes(AckFrame(r.command));
  });
  EXPECT_EQ(comm_->StartPONSequence(), S_OK);
  EXPECT_EQ(comm_->StartPONSequence(), S_OK);
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA data{};
  Q7K_THERMAL_DATA thermal{};
  EXPECT_EQ(comm_->RequestTestResults(&params), S_OK);
  EXPECT_EQ(comm_->ReceiveTestResults(&params, &data, &thermal), S_OK);
  comm_->ClosePort();
  const std::string log = TraceLog();
  EXPECT_EQ(log.rfind("Q7kComm.log\n", 0), 0u);
  const auto count = [&log](const std::string& s) {
    size_t n = 0;
    for (size_t at = log.find(s); at != std::string::npos;
         at = log.find(s, at + 1)) {
      ++n;
    }
    return n;
  };
  EXPECT_EQ(count(" CreatePort[1.00.15](COM5, bps=112500)]\n"), 1u);
  EXPECT_EQ(count(" <C>0x  2]\n"), 1u);
  EXPECT_EQ(count(" <G>0x  6]\n"), 1u);
  EXPECT_EQ(count(" <R>0x  6]\n"), 1u);
  EXPECT_EQ(count(" ClosePort]\n"), 1u);
}

TEST_F(InstrumentLinkTest, ListCommErrorsWithAPortOpen) {
  Connect([](const Request&) { return Bytes{}; });
  Bstr list;
  ASSERT_EQ(comm_->ListCommErrors(list.out()), S_OK);
  const std::string text = list.utf8();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 18);
  EXPECT_EQ(text.rfind("[0] No Errors\n[-33] No Response from Q7300, Check "
                       "Connections\n[-37] Invalid Message Number\n",
                       0),
            0u);
  EXPECT_NE(text.find("\n[-97] Illegal Parity Setting\n"), std::string::npos);
  const std::string last = "\n[-199] COM port in use\n";
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  EXPECT_EQ(Code(), 0);
}

// Without a message pump the client's thread moves the bytes itself; with
// one they go through the port's threads. A caller sees the same either way.
class BothPathsTest : public InstrumentLinkTest,
                      public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    InstrumentLinkTest::SetUp();
    if (GetParam()) SetMessagePump([] {});
  }
  void TearDown() override {
    SetMessagePump(nullptr);
    InstrumentLinkTest::TearDown();
  }
};

TEST_P(BothPathsTest, ReplyWaitingBeforeReceiveOnlyIsTaken) {
  Connect([](const Request&) { return Bytes{}; });  // the test answers
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA data{};
  Q7K_THERMAL_DATA thermal{};
  const auto lineEnded = [](const Bytes& got) {
    return got.size() >= 12 && got[got.size() - 2] == 0x10 &&
           got.back() == 0x03;
  };
  ASSERT_EQ(comm_->RequestTestResults(&params), S_OK);
  ASSERT_TRUE(peer_->WaitFor(lineEnded));
  const size_t requestBytes = peer_->Received().size();
  Bytes body(146, 0);
  body[0] = 0x10;  // a doubled DLE on the line
  peer_->Send(LineBytes(AckFrame(0x0006, body)));
  ASSERT_TRUE(peer_->WaitSent());
  EXPECT_EQ(comm_->ReceiveTestResults(&params, &data, &thermal), S_OK);
  // Late bytes of that exchange are not the next one's answer.
  peer_->Send(LineBytes(NakFrame(0x0002, 5, {})));
  ASSERT_TRUE(peer_->WaitSent());
  auto call = std::async(std::launch::async,
                         [this] { return comm_->StartPONSequence(); });
  ASSERT_TRUE(peer_->WaitReceived(requestBytes + 12));
  peer_->Send(LineBytes(AckFrame(0x0002)));
  EXPECT_EQ(call.get(), S_OK);
}

TEST_P(BothPathsTest, VanishedPeerFailsTheTransactionAtOnce) {
  UseFakeClock();  // never moves: only the failure can end the wait
  Connect([](const Request&) { return Bytes{}; });
  auto call =
      std::async(std::launch::async, [this] { return comm_->StopQ7kTest(); });
  ASSERT_TRUE(peer_->WaitReceived(12));
  peer_.reset();
  pty_.CloseSlave();
  pty_.CloseMaster();
  ASSERT_EQ(call.wait_for(kPtyDeadline), std::future_status::ready);
  EXPECT_EQ(call.get(), E_FAIL);
  EXPECT_EQ(Code(), 297);  // not the time-out's 133
  EXPECT_EQ(Message(), "Windows OS Error");
  EXPECT_EQ(comm_->StartPONSequence(), E_FAIL);  // sticky
  EXPECT_EQ(Code(), 297);
  EXPECT_NE(TraceLog().find("- [T] Error=297 @ "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Paths, BothPathsTest, ::testing::Bool(),
                         [](const auto& info) {
                           return std::string(info.param ? "Pump" : "Direct");
                         });

}  // namespace
}  // namespace q7k
