// Transactions through the public API against a scripted instrument on a
// real pseudo-terminal. Split and noisy replies: FaultTableTest and
// LineCodecTest.
#include "link/instrument_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>

#include "support/scripted_component.h"

namespace q7k {
namespace {

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
  const Bytes wire = peer_->Received();
  EXPECT_EQ(
      Bytes(wire.begin() + 12, wire.end()),
      (Bytes{0x10, 0x02, 0,    0,    0x01, 0x7E, 4,    0,    0x10, 0x10,
             0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0xC3, 0x00, 0x10, 0x03}));
}

TEST_F(InstrumentLinkTest, TimeoutAfterFourSecondsWithBothDumps) {
  UseFakeClock();
  Connect([](const Request&) { return Bytes{}; });
  int32_t value = 77;
  auto call = std::async(std::launch::async,
                         [&] { return comm_->RegRead(0x20, &value); });
  // Past 4000 ms, not at it.
  EXPECT_EQ(clock_->AdvanceToNextDeadline(), std::chrono::milliseconds(4001));
  EXPECT_EQ(call.get(), E_FAIL);
  EXPECT_EQ(value, 77);  // code and text: FaultTableTest
  const std::string log = TraceLog();
  for (const char* entry :
       {"TIMEOUT Error<-33>[l=0, to=4000]]\n", "- [T] Error=133 @ ",
        "[Transmit](12)\n  00 00 01 7e 04 00 20 00 00 00 a3 00 \n",
        "- [R] Error=133 @ ",
        "[No Response from Q7300, Check Connections](0)\n"}) {
    EXPECT_NE(log.find(entry), std::string::npos) << entry << log;
  }
}

// Each bad or negative reply: the caller's result, the recorded code and
// text, and what the trace log gets even with tracing off. Frame faults
// answer RegRead, NAKs StopQ7kTest; the decoding of NAKs is ErrorStateTest's
// (details: EepromBoardTest), here the way to the caller.
TEST_F(InstrumentLinkTest, BadAndNegativeRepliesReachTheCaller) {
  // The good reply with byte `at` set to `value`, re-summed unless the
  // checksum itself is the fault.
  const auto spoiled = [](size_t at, uint8_t value, bool resum = true) {
    Bytes f = AckFrame(kRegRead, Le32(5));
    f[at] = value;
    return resum ? WithChecksum(f) : f;
  };
  struct Case {
    Bytes frame;  // empty: a NAK with number nak
    int16_t nak;
    short code;  // 0: a success
    const char* message;
    const char* traceLine;
    bool dumpsRequest;
  };
  // clang-format off
  const Case cases[] = {
      {spoiled(7, 0x04, false), 0, 138, "Invalid Message Checksum",
       "Message Checksum Error[", true},
      {spoiled(4, 6), 0, 139, "Invalid Message Length",
       "Message Length Error[6,5]", true},
      {spoiled(2, 0x00), 0, 137, "Invalid Message Number",
       "Message Number Error[33024,33279]", true},
      {spoiled(6, 0x07), 0, 140, "Invalid Message ACK/NAK Byte", "", true},
      // A NAK too short for its number is malformed, not error -40.
      {ReplyFrame(kRegRead, {kNak, 5}), 0, 140, "Invalid Message ACK/NAK Byte",
       "", true},
      {AckFrame(kRegRead, Bytes(400, 0x11)), 0, 135, "Undefined Error",
       "MSGLEN Error<-35>", true},
      {AckFrame(kRegRead, {1, 2}), 0, 139, "Invalid Message Length", "", false},
      {{}, 5, 5, "Not Enough Free Space in FLASH for Application",
       "- [R] Error=5 @ ", false},
      {{}, 4, 4, "Test is Currently Running", "", false},  // no details
      // An instrument number, not a checksum failure.
      {{}, -38, -1, "Undefined Error", "", false},
      {{}, 0, 0, "", "", false},  // a NAK with error number 0 is a success
  };
  // clang-format on
  // The script runs on the peer's thread: the next answer is set under a
  // lock.
  std::mutex mutex;
  const Case* next = &cases[0];
  Connect([&](const Request& r) {
    std::lock_guard<std::mutex> lock(mutex);
    return LineBytes(next->frame.empty() ? NakFrame(r.command, next->nak)
                                         : next->frame);
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.frame) + std::to_string(c.nak));
    {
      std::lock_guard<std::mutex> lock(mutex);
      next = &c;
    }
    comm_->ClearError();
    const size_t logged = TraceLog().size();
    int32_t value = 9;
    const HRESULT hr =
        c.frame.empty() ? comm_->StopQ7kTest() : comm_->RegRead(0x40, &value);
    EXPECT_EQ(hr, c.code == 0 ? S_OK : E_FAIL);
    EXPECT_EQ(value, 9);
    EXPECT_EQ(Code(), c.code);
    EXPECT_EQ(Message(), c.message);
    const std::string log = TraceLog().substr(logged);
    EXPECT_NE(log.find(c.traceLine), std::string::npos) << log;
    if (c.dumpsRequest) {
      EXPECT_NE(log.find("[Transmit](12)"), std::string::npos);
    }
    if (!c.frame.empty()) {
      EXPECT_NE(log.find(std::string("[") + c.message + "]("),
                std::string::npos);
    }
  }
  // Orders the script's last look at these locals before they go.
  std::lock_guard<std::mutex> lock(mutex);
}

TEST_F(InstrumentLinkTest, TraceEntriesPerCommand) {
  comm_->put_EnableTrace(1);
  Connect([](const Request& r) {
    return LineBytes(AckFrame(r.command, Bytes(r.command == 6 ? 146 : 0, 0)));
  });
  EXPECT_EQ(comm_->StartPONSequence(), S_OK);
  EXPECT_EQ(comm_->StartPONSequence(), S_OK);
  EXPECT_EQ(comm_->RequestTestResults(&p_), S_OK);
  EXPECT_EQ(comm_->ReceiveTestResults(&p_, &d_, &t_), S_OK);
  comm_->ClosePort();
  const std::string log = TraceLog();
  EXPECT_EQ(log.rfind("Q7kComm.log\n", 0), 0u);
  for (const char* entry :
       {" CreatePort[1.00.15](COM5, bps=112500)]\n", " <C>0x  2]\n",
        " <G>0x  6]\n", " <R>0x  6]\n", " ClosePort]\n"}) {
    const size_t first = log.find(entry);
    EXPECT_NE(first, std::string::npos) << entry;
    EXPECT_EQ(log.find(entry, first + 1), std::string::npos) << entry;
  }
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
  const auto lineEnded = [](const Bytes& got) {
    return got.size() >= 12 && got[got.size() - 2] == 0x10 &&
           got.back() == 0x03;
  };
  ASSERT_EQ(comm_->RequestTestResults(&p_), S_OK);
  ASSERT_TRUE(peer_->WaitFor(lineEnded));
  const size_t requestBytes = peer_->Received().size();
  Bytes body(146, 0);
  body[0] = 0x10;  // a doubled DLE on the line
  peer_->Send(LineBytes(AckFrame(0x0006, body)));
  ASSERT_TRUE(peer_->WaitSent());
  EXPECT_EQ(comm_->ReceiveTestResults(&p_, &d_, &t_), S_OK);
  // Late bytes of that exchange, with the next one's number, are not its
  // answer.
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
  EXPECT_EQ(Code(), 297);                        // not the time-out's 133
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
