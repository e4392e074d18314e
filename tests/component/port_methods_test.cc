// The port methods through the public API: open failures, exclusive use,
// the loopback test, the timer and simulation.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>

#include "support/scripted_component.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;

// The pseudo-terminal's far end is each test's own.
using PortMethodsTest = ScriptedComponentTest;

TEST_F(PortMethodsTest, MissingPortIsNotFoundButStaysALink) {
  SetSerialPortPath(kPort, dir_.File("no-such-device"));
  // Its code and text: Q7kCliTest and ComponentTest.
  EXPECT_EQ(comm_->OpenPort(kPort, BPS_9600), E_FAIL);
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 1);
  // Commands on the failed link fail with its status, without waiting.
  EXPECT_EQ(comm_->StartPONSequence(), E_FAIL);
  EXPECT_EQ(Code(), 298);
  EXPECT_EQ(comm_->ClosePort(), S_OK);
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 0);
  EXPECT_EQ(comm_->ClosePort(), S_OK);
}

// The child opens the port and holds it until it is killed.
TEST_F(PortMethodsTest, HolderInAnotherProcessIsRefused) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ComPtr<IQ7kComm> holder = NewComponent();
    const char held = holder->OpenPort(kPort, BPS_9600) == S_OK ? 'y' : 'n';
    (void)!write(ready[1], &held, 1);
    for (;;) pause();
  }
  close(ready[1]);
  char held = 0;
  EXPECT_EQ(read(ready[0], &held, 1), 1);
  close(ready[0]);
  EXPECT_EQ(held, 'y');
  EXPECT_EQ(comm_->OpenPort(kPort, BPS_9600), E_FAIL);
  EXPECT_EQ(Code(), 299);
  EXPECT_EQ(Message(), "COM port in use");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  comm_->ClearError();
  EXPECT_EQ(comm_->OpenPort(kPort, BPS_9600), S_OK);
}

TEST_F(PortMethodsTest, LoopbackComparesWhatComesBack) {
  {
    PtyPeer echo(pty_.master(), [](const Bytes& chunk) { return chunk; });
    EXPECT_EQ(comm_->RunLoopbackTest(kPort, BPS_38400), S_OK);
    EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 0);
    const Bytes sent = echo.Received();
    EXPECT_EQ(std::string(sent.begin() + 2, sent.end() - 2),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
  }
  PtyPeer peer(pty_.master(), [](Bytes chunk) {
    std::replace(chunk.begin(), chunk.end(), uint8_t{'Q'}, uint8_t{'q'});
    return chunk;
  });
  EXPECT_EQ(comm_->RunLoopbackTest(kPort, BPS_9600), E_FAIL);
  EXPECT_EQ(Code(), 141);
  EXPECT_EQ(Message(), "Loopback Message mismatch");
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 0);
}

TEST_F(PortMethodsTest, LoopbackWithNothingConnected) {
  FakeClock clock;
  PtyPeer peer(pty_.master());
  auto call = std::async(std::launch::async, [&] {
    return comm_->RunLoopbackTest(kPort, BPS_9600);
  });
  EXPECT_EQ(clock.AdvanceToNextDeadline(), milliseconds(4001));
  EXPECT_EQ(call.get(), E_FAIL);
  EXPECT_EQ(Code(), 142);
  EXPECT_EQ(Message(), "Loopback Message not received");
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 0);
  const std::string log = TraceLog();
  EXPECT_NE(log.find("- [T] Error=142 @ "), std::string::npos);
  EXPECT_NE(log.find("[Loopback Message not received](36)\n  41 42 43 "),
            std::string::npos);
}

TEST_F(PortMethodsTest, TimerDelay) {
  // Without a link: a silent failure.
  EXPECT_EQ(comm_->TimerDelay(500, 1), E_FAIL);
  ErrorInfo info;
  EXPECT_EQ(GetErrorInfo(&info), S_FALSE);
  EXPECT_EQ(Code(), 0);

  FakeClock clock;
  ASSERT_EQ(comm_->OpenPort(kPort, BPS_9600), S_OK);
  int pumped = 0;
  SetMessagePump([&pumped] { ++pumped; });
  EXPECT_EQ(comm_->TimerDelay(100, 1), S_OK);
  EXPECT_EQ(clock.Elapsed(), milliseconds(100));
  EXPECT_EQ(pumped, 11);  // every 10 ms, and once at the end
  pumped = 0;
  EXPECT_EQ(comm_->TimerDelay(30, 0), S_OK);
  EXPECT_EQ(pumped, 0);
  SetMessagePump(nullptr);
  EXPECT_EQ(comm_->TimerDelay(-5, 0), S_OK);  // never 49 days
  EXPECT_EQ(clock.Elapsed(), milliseconds(130));
  comm_->ClosePort();

  // Fast simulation skips every wait, even without a port.
  comm_->put_SimulMode(SIMUL_EXC);
  comm_->put_SimulFast(1);
  EXPECT_EQ(comm_->TimerDelay(5000, 1), S_OK);
  EXPECT_EQ(clock.Elapsed(), milliseconds(130));
  comm_->put_SimulFast(0);
  EXPECT_EQ(comm_->TimerDelay(10, 0), E_FAIL);
}

TEST_F(PortMethodsTest, SimulationOpensMissingPortsUntilThePortIsMadeAgain) {
  FakeClock clock;
  SetSerialPortPath(kPort, dir_.File("no-such-device"));
  comm_->put_EnableTrace(1);
  comm_->put_SimulMode(SIMUL_EXC);
  EXPECT_EQ(comm_->OpenPort(kPort, BPS_9600), S_OK);
  EXPECT_EQ(Code(), 0);

  // The port stays simulated until it is created again: the halves of an
  // exchange pass at once, nothing is decoded, every command is traced.
  comm_->put_SimulMode(SIMUL_NONE);
  Bstr text;
  const auto before = clock.Elapsed();
  EXPECT_EQ(comm_->StartPONSequence(), S_OK);
  d_.Amperes = 7.0f;
  EXPECT_EQ(comm_->RequestTestResults(&p_), S_OK);
  EXPECT_EQ(comm_->ReceiveTestResults(&p_, &d_, &t_), S_OK);
  EXPECT_EQ(d_.Amperes, 7.0f);
  EXPECT_EQ(comm_->ReadAppInfo(), S_OK);
  EXPECT_EQ(comm_->get_AppName(text.out()), S_OK);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(clock.Elapsed() - before, milliseconds(200));
  comm_->ClosePort();
  const std::string log = TraceLog();
  for (const char* entry : {" <C>0x  2]\n", " <G>0x  6]\n", " <R>0x  6]\n"}) {
    const size_t first = log.find(entry);
    EXPECT_NE(first, std::string::npos) << entry;
    EXPECT_EQ(log.find(entry, first + 1), std::string::npos) << entry;
  }

  comm_->put_SimulMode(SIMUL_EXC);
  EXPECT_EQ(comm_->RunLoopbackTest(kPort, BPS_9600), S_OK);
  EXPECT_EQ(clock.Elapsed() - before, milliseconds(2200));
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 0);
}

TEST_F(PortMethodsTest, EveryModeButNoneKeepsOffTheLine) {
  // A mode that simulates the commands but drove the line would run real
  // tests behind simulated results.
  SetSerialPortPath(kPort, dir_.File("no-such-device"));
  for (int32_t mode : {-1, INT32_MIN, int32_t{SIMUL_CAL} + 1}) {
    SCOPED_TRACE(mode);
    ComPtr<IQ7kComm> c = NewComponent();
    c->put_SimulMode(static_cast<SIMUL_MODE>(mode));
    EXPECT_EQ(c->OpenPort(kPort, BPS_9600), S_OK);
    EXPECT_EQ(ErrorCode(c.Get()), 0);
  }
}

}  // namespace
}  // namespace q7k
