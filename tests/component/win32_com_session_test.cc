// The component on a COM port of the wine prefix: a session with the Linux
// virtual instrument, and the reply time-out and the vanished device on a
// line the Linux peer holds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/component_fixture.h"
#include "support/serial_peer.h"

namespace q7k {
namespace {

class Win32ComSessionTest : public ComponentFixture {
 protected:
  void SetUp() override {
    if (!peer_.error().empty()) GTEST_SKIP() << peer_.error();
    ComponentFixture::SetUp();
  }
  Q7K_PORT port() const { return static_cast<Q7K_PORT>(peer_.comNumber()); }

  SerialPeer peer_;
};

TEST_F(Win32ComSessionTest, VirtualInstrumentAnswers) {
  ASSERT_TRUE(peer_.StartEmulator());
  ASSERT_EQ(comm_->OpenPort(port(), BPS_115200), S_OK) << Code();
  ASSERT_EQ(comm_->ReadAppInfo(), S_OK) << Code();
  Bstr text;
  comm_->get_AppName(text.out());
  EXPECT_EQ(text.utf8().substr(0, 3), "Q7I");
  comm_->get_AppVersion(text.out());
  EXPECT_EQ(text.utf8(), "01.20.02");
  EXPECT_EQ(comm_->StartPONSequence(), S_OK) << Code();
  EXPECT_EQ(comm_->ReadAppInfo(), S_OK) << Code();
  EXPECT_EQ(comm_->ClosePort(), S_OK);
}

TEST_F(Win32ComSessionTest, SilentLineTimesOutThenVanishes) {
  FakeClock clock;
  ASSERT_EQ(comm_->OpenPort(port(), BPS_115200), S_OK) << Code();
  // The call stays on this thread, whose error information it sets; another
  // moves the clock to each deadline the component waits for.
  std::atomic<bool> done{false};
  std::mutex mutex;
  std::condition_variable moverGone;
  bool gone = false;
  std::thread mover([&] {
    while (!done) clock.AdvanceToNextDeadline();
    std::lock_guard<std::mutex> lock(mutex);
    gone = true;
    moverGone.notify_all();
  });
  EXPECT_EQ(comm_->ReadAppInfo(), E_FAIL);
  EXPECT_EQ(Code(), 133);
  EXPECT_GE(clock.Elapsed(), std::chrono::milliseconds(4001));
  done = true;
  {
    // A wait on the clock wakes the mover if it waits for one.
    std::unique_lock<std::mutex> lock(mutex);
    clock.WaitUntil(lock, moverGone, clock.Now() + std::chrono::milliseconds(1),
                    [&] { return gone; });
  }
  mover.join();

  ASSERT_TRUE(peer_.Hangup());
  EXPECT_EQ(comm_->ReadAppInfo(), E_FAIL);
  EXPECT_EQ(Code(), 297);
  EXPECT_EQ(comm_->ReadAppInfo(), E_FAIL);  // at once from now on
  EXPECT_EQ(Code(), 297);
}

}  // namespace
}  // namespace q7k
