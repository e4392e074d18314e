// The component on a COM port of the wine prefix: a session with the Linux
// virtual instrument (recorded too), and the reply time-out and the
// vanished device on a line the Linux peer holds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <windows.h>

#include "link/recording_format.h"
#include "support/component_fixture.h"
#include "support/scoped_code_page.h"
#include "support/serial_peer.h"
#include "support/wire.h"

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

// The frames of one direction's bytes, each with an intact checksum.
std::vector<Frame> Frames(const Recording& r, RecordingDirection d) {
  Bytes line;
  for (const RecordingEvent& e : r.events) {
    if (e.kind == RecordingEventKind::kData && e.direction == d)
      line.insert(line.end(), e.bytes.begin(), e.bytes.end());
  }
  std::vector<Frame> frames;
  Bytes frame;
  while (size_t used = TakeFrame(line, &frame)) {
    EXPECT_EQ(WithChecksum(frame), frame);
    frames.push_back(Parse(frame));
    line.erase(line.begin(), line.begin() + static_cast<ptrdiff_t>(used));
  }
  EXPECT_TRUE(line.empty());
  return frames;
}

// Each way of asking, in one process since the hook overrides the
// environment once set: names with a drive, either separator and a
// character outside the process's ANSI code page; a directory gives one
// trace-log line and the session goes on.
TEST_F(Win32ComSessionTest, RecordsTheSessionBothWays) {
  const ScopedCodePage utf8(65001);
  const std::string dir = dir_.path();
  const struct {
    const wchar_t* environment;  // under dir; null: the hook
    std::string hook;
    const wchar_t* written;  // under dir; null: none
  } cases[] = {
      {L"\\env\u03a9.pcapng", "", L"env\u03a9.pcapng"},
      {nullptr, dir + "/hook\xCE\xA9.pcapng", L"hook\u03a9.pcapng"},
      {nullptr, dir + "\\sub", nullptr},
  };
  const std::wstring wideDir(dir.begin(), dir.end());
  CreateDirectoryW((wideDir + L"\\sub").c_str(), nullptr);
  for (const auto& c : cases) {
    if (c.environment != nullptr) {
      SetEnvironmentVariableW(L"Q7K_RECORD",
                              (wideDir + c.environment).c_str());
    } else {
      SetRecordingPath(c.hook);
    }
    SerialPeer peer;
    ASSERT_TRUE(peer.StartEmulator()) << peer.error();
    ASSERT_EQ(comm_->OpenPort(static_cast<Q7K_PORT>(peer.comNumber()),
                              BPS_115200), S_OK) << Code();
    EXPECT_EQ(comm_->ReadAppInfo(), S_OK) << Code();
    EXPECT_EQ(comm_->ClosePort(), S_OK);
    SetEnvironmentVariableW(L"Q7K_RECORD", nullptr);
    if (c.written == nullptr) {
      const std::string log = TraceLog();
      const std::string line = "Recording stopped: " + c.hook +
                               ": cannot open the file";
      EXPECT_NE(log.find(line), std::string::npos) << log;
      EXPECT_EQ(log.find(line), log.rfind("Recording stopped"));
      continue;
    }
    // Read back through the wide name: the file is the one asked for.
    FILE* file = _wfopen((wideDir + L"\\" + c.written).c_str(), L"rb");
    ASSERT_NE(file, nullptr);
    Bytes bytes;
    for (int b; (b = std::fgetc(file)) != EOF;)
      bytes.push_back(static_cast<uint8_t>(b));
    std::fclose(file);
    Recording r;
    std::string error;
    ASSERT_TRUE(ParseRecording(bytes.data(), bytes.size(), &r, &error))
        << error;
    EXPECT_EQ(r.portName, peer.comName());
    ASSERT_GE(r.events.size(), 2u);
    EXPECT_EQ(r.events[1].kind, RecordingEventKind::kOpen);
    EXPECT_EQ(r.events[1].number, static_cast<uint32_t>(peer.comNumber()));
    EXPECT_EQ(r.events[1].baud, 112500u);
    EXPECT_EQ(r.events.back().kind, RecordingEventKind::kClose);
    const std::vector<Frame> requests =
        Frames(r, RecordingDirection::kToInstrument);
    const std::vector<Frame> replies =
        Frames(r, RecordingDirection::kFromInstrument);
    ASSERT_EQ(requests.size(), replies.size());
    ASSERT_FALSE(requests.empty());
    for (size_t i = 0; i < requests.size(); ++i) {
      EXPECT_EQ(static_cast<uint16_t>(requests[i].number + replies[i].number),
                0);
      EXPECT_TRUE(replies[i].Ack());
    }
  }
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
