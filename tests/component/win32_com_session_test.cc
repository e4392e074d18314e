// The component on a COM port of the wine prefix: a session with the Linux
// virtual instrument, recorded, and the reply time-out and the vanished
// device on a line the Linux peer holds.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "link/recording_format.h"
#include "support/component_fixture.h"
#include "support/scoped_code_page.h"
#include "support/serial_peer.h"
#include "support/wire.h"

namespace q7k {
namespace {

// The recording dir\name holds the open, the close and every request with
// its ACK, both ways with checksums intact. Read by the wide name, not
// through the recorder's own.
void ExpectRecorded(const std::string& dir, const std::wstring& name, int com) {
  std::ifstream in(std::filesystem::path(dir) / name, std::ios::binary);
  const std::string file{std::istreambuf_iterator<char>(in), {}};
  Recording r;
  std::string error;
  ASSERT_TRUE(ParseRecording(reinterpret_cast<const uint8_t*>(file.data()),
                             file.size(), &r, &error))
      << error;
  ASSERT_GE(r.events.size(), 2u);
  EXPECT_EQ(r.events[1].kind, RecordingEventKind::kOpen);
  EXPECT_EQ(r.events[1].number, static_cast<uint32_t>(com));
  EXPECT_EQ(r.events[1].baud, 112500u);  // BPS_115200's real rate
  EXPECT_EQ(r.events.back().kind, RecordingEventKind::kClose);
  Bytes line[3];  // by RecordingDirection
  for (const RecordingEvent& e : r.events) {
    Bytes& to = line[static_cast<int>(e.direction)];
    to.insert(to.end(), e.bytes.begin(), e.bytes.end());
  }
  Bytes request, reply;
  int exchanges = 0;
  while (size_t used = TakeFrame(line[2], &request)) {
    line[2].erase(line[2].begin(), line[2].begin() + used);
    const size_t replyUsed = TakeFrame(line[1], &reply);
    ASSERT_NE(replyUsed, 0u);
    line[1].erase(line[1].begin(), line[1].begin() + replyUsed);
    EXPECT_EQ(WithChecksum(request), request);
    EXPECT_EQ(WithChecksum(reply), reply);
    EXPECT_EQ(
        static_cast<uint16_t>(Parse(request).number + Parse(reply).number), 0);
    EXPECT_TRUE(Parse(reply).Ack());
    ++exchanges;
  }
  EXPECT_GT(exchanges, 0);
  EXPECT_TRUE(line[1].empty() && line[2].empty());
}

class Win32ComSessionTest : public ComponentFixture {
 protected:
  void SetUp() override {
    if (!peer_.error().empty()) GTEST_SKIP() << peer_.error();
    ComponentFixture::SetUp();
  }
  Q7K_PORT port() const { return static_cast<Q7K_PORT>(peer_.comNumber()); }

  SerialPeer peer_;
};

// Recorded through Q7K_RECORD, then through the hook: a directory gives one
// trace-log line and the session goes on; a name with both separators is the
// file written. Both names are outside the ANSI code page. What the
// instrument answers: Q7kExeTest and the installed-package client.
TEST_F(Win32ComSessionTest, RecordsThroughTheEnvironmentAndTheHook) {
  const ScopedCodePage utf8(65001);
  ASSERT_TRUE(peer_.StartEmulator());
  const auto session = [this] {
    ASSERT_EQ(comm_->OpenPort(port(), BPS_115200), S_OK) << Code();
    EXPECT_EQ(comm_->ReadAppInfo(), S_OK) << Code();
    EXPECT_EQ(comm_->ClosePort(), S_OK);
  };
  const std::wstring dir(dir_.path().begin(), dir_.path().end());
  SetEnvironmentVariableW(L"Q7K_RECORD", (dir + L"\\env\u03a9.pcapng").c_str());
  ASSERT_NO_FATAL_FAILURE(session());
  SetEnvironmentVariableW(L"Q7K_RECORD", nullptr);
  ExpectRecorded(dir_.path(), L"env\u03a9.pcapng", peer_.comNumber());

  const std::string sub = dir_.path() + "\\sub";
  CreateDirectoryA(sub.c_str(), nullptr);
  SetRecordingPath(sub);
  ASSERT_NO_FATAL_FAILURE(session());
  const std::string log = TraceLog();
  const std::string line = "Recording stopped: " + sub + ": cannot open";
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind("Recording stopped"));

  SetRecordingPath(dir_.path() + "/hook\xCE\xA9.pcapng");
  ASSERT_NO_FATAL_FAILURE(session());
  ExpectRecorded(dir_.path(), L"hook\u03a9.pcapng", peer_.comNumber());
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
