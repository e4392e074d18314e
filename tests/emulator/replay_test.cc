// Replaying a session recording: the component on a pseudo-terminal gets
// the recorded replies, faults and silences at their frames, then the
// model's answers; a divergent request is answered by the model or, strict,
// stops the replay with both frames named.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <sstream>
#include <tuple>

#include "emulator/host_line.h"
#include "link/recording_format.h"
#include "options.h"
#include "support/emulated_component.h"
#include "support/firmware_image.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;
using testing_emu::HostLine;
constexpr int32_t kRegister = 0x644020;  // the model holds 4485 there
constexpr auto kOut = RecordingDirection::kToInstrument;
constexpr auto kIn = RecordingDirection::kFromInstrument;

// A register read's recorded reply, pieces at ms after the request (no
// bytes: a parity error on the line), and what the host then gets.
struct Row {
  std::vector<std::pair<int, Bytes>> reply;
  short code;
  int32_t value;
};

std::vector<Row> Rows() {
  const Bytes ok = LineBytes(AckFrame(0x7E01, Le32(1234)));
  Bytes corrupt = AckFrame(0x7E01, Le32(5));
  corrupt.back() ^= 1;
  const Bytes noisy = Concat({{0x55}, LineBytes(AckFrame(0x7E01, Le32(7)))});
  return {{{{4, {ok.begin(), ok.begin() + 3}},
            {6, {}},
            {9, {ok.begin() + 3, ok.end()}}},
           0,
           1234},
          {{{1, LineBytes(corrupt)}}, 138, 0},
          {{}, 133, 0},
          {{{2, noisy}}, 0, 7}};
}

// The host writes each request in two pieces, 0.1 ms apart, after a first
// section whose request the host cut off by closing the port; the second
// section closes with the port's status.
std::string Record(const ScopedTempDir& dir, const std::vector<Row>& rows,
                   uint32_t version = kRecordingFormatVersion,
                   uint32_t lineErrors = kRecordingLineErrorParity,
                   int32_t status = 0) {
  const Bytes request = LineBytes(RequestFrame(0x7E01, Le32(kRegister)));
  std::vector<uint8_t> file;
  RecordingEvent event;
  const auto section = [&] {
    AppendRecordingHeader("q7kcomm test", "COM8", &file);
    event.number = version;
    for (auto kind : {RecordingEventKind::kStart, RecordingEventKind::kOpen}) {
      event.kind = kind;
      AppendRecordingEvent(event, &file);
    }
  };
  section();
  AppendRecordingData(1000, kOut, request.data(), 7, &file);
  event.kind = RecordingEventKind::kClose;
  AppendRecordingEvent(event, &file);
  section();
  event.kind = RecordingEventKind::kLineError;
  event.number = lineErrors;
  uint64_t t = 1000000;
  for (const Row& row : rows) {
    AppendRecordingData(t - 100, kOut, request.data(), 5, &file);
    AppendRecordingData(t, kOut, &request[5], request.size() - 5, &file);
    for (const auto& [ms, bytes] : row.reply) {
      event.timeUs = t + ms * 1000;
      if (bytes.empty()) {
        AppendRecordingEvent(event, &file);
      } else {
        AppendRecordingData(event.timeUs, kIn, bytes.data(), bytes.size(),
                            &file);
      }
    }
    t += 100000;
  }
  event.kind = RecordingEventKind::kClose;
  event.code = status;
  AppendRecordingEvent(event, &file);
  const std::string path = dir.File("session.pcapng");
  WriteFileBytes(path, std::string(file.begin(), file.end()));
  return path;
}

// A recording's line bytes each way, and its other events, each placed by
// the bytes sent and received before it: where a fault, a line error or a
// section is.
std::tuple<Bytes, Bytes, std::vector<std::string>> Flow(
    const std::string& path) {
  Recording r;
  std::string error;
  EXPECT_TRUE(LoadRecording(path, &r, &error)) << error;
  Bytes sent, received;
  std::vector<std::string> placed;
  for (const RecordingEvent& e : r.events) {
    Bytes& to = e.direction == kOut ? sent : received;
    to.insert(to.end(), e.bytes.begin(), e.bytes.end());
    if (e.kind == RecordingEventKind::kData) continue;
    // Only the time waited may differ.
    const uint32_t n = e.kind == RecordingEventKind::kTimeout ? 0 : e.number;
    placed.push_back(std::to_string(sent.size()) + "/" +
                     std::to_string(received.size()) + " kind " +
                     std::to_string(int(e.kind)) + " command " +
                     std::to_string(e.command) + " code " +
                     std::to_string(e.code) + " " + std::to_string(n));
  }
  return {sent, received, placed};
}

class ReplayTest : public EmulatedComponentTest {
 protected:
  void SetUp() override {
    UseFakeClock();
    EmulatedComponentTest::SetUp();
  }
  void TearDown() override {
    SetRecordingPath("");
    EmulatedComponentTest::TearDown();
  }
  void Replay(const std::string& path, bool strict = false,
              const std::string& listen = "") {
    EmulatorOptions options;
    options.line.listen = listen;
    auto script = std::make_shared<emu::ReplayScript>();
    std::string error;
    ASSERT_TRUE(emu::LoadReplayScript(path, script.get(), &error)) << error;
    options.replay = script_ = script;
    options.replayStrict = strict;
    emulator_ = std::make_unique<Emulator>(options);
    notices_.clear();
    emulator_->set_replay_callback([this](const std::string& m, bool) {
      std::lock_guard<std::mutex> lock(mutex_);
      notices_ += m + "\n";
      noticed_.notify_all();
    });
    Serve();
  }
  // Runs calls the instrument leaves unanswered, but for a quick first
  // one: each times out on the fake clock.
  template <typename Calls>
  auto Silent(Calls calls) {
    auto run = std::async(std::launch::async, calls);
    while (run.wait_for(milliseconds(100)) != std::future_status::ready) {
      clock_->AdvanceToNextDeadline();
    }
    return run.get();
  }
  std::pair<HRESULT, int32_t> Read(int32_t address, bool silent = false) {
    int32_t value = 0;
    const auto call = [&] { return comm_->RegRead(address, &value); };
    return {silent ? Silent(call) : call(), value};
  }
  // A test run at volts as a host makes it: each call's result, code and
  // reading.
  std::vector<std::string> TestRun(float volts) {
    Q7K_INIT_PARAMS init{};
    init.MaxVolts = 12;
    init.XfmrMaxTempTime = 3600;
    Q7K_RUNTM_PARAMS run{};
    run.TestVoltage = volts;
    run.Frequency = 60.0f;
    p_ = {};
    p_.SamplesToAvg = 10;
    d_ = {};
    std::vector<std::string> got;
    const auto note = [&](HRESULT hr) {
      got.push_back(std::to_string(hr) + " " + std::to_string(Code()) + " " +
                    std::to_string(d_.Amperes));
      comm_->ClearError();
    };
    note(comm_->InitTestParams(&init));
    note(comm_->UpdateRuntimeParams(&run));
    note(comm_->StartQ7kTest(&p_));
    for (int i = 0; i < 6; ++i) {
      note(comm_->FullRequestTestResults(&p_, &d_, &t_));
    }
    note(comm_->StopQ7kTest());
    return got;
  }
  // Replays field to host in 20 fresh runs, each recorded: the results, the
  // bytes each way, and the faults and sections in place as recorded.
  template <typename Host>
  void ReplayTwentyTimes(const std::string& field, Host host,
                         const std::vector<std::string>& results) {
    for (int run = 0; run < 20; ++run) {
      const std::string replay = dir_.File("replay" + std::to_string(run));
      SetRecordingPath(replay);
      ASSERT_NO_FATAL_FAILURE(Replay(field));
      EXPECT_EQ(host(), results) << run;
      comm_->ClosePort();
      EXPECT_EQ(Flow(replay), Flow(field)) << run;
    }
    SetRecordingPath("");
  }
  // A silent request's notice may come after the host gave up waiting.
  std::string Notices() {
    std::unique_lock<std::mutex> lock(mutex_);
    noticed_.wait_for(lock, testing_emu::kDeadline,
                      [&] { return !notices_.empty(); });
    return notices_;
  }

  std::shared_ptr<const emu::ReplayScript> script_;
  std::mutex mutex_;
  std::condition_variable noticed_;
  std::string notices_;
};

// The request cut off in the first section stays in it.
TEST_F(ReplayTest, RecordedRepliesFaultsAndSilenceThenTheModel) {
  const std::vector<Row> rows = Rows();
  ASSERT_NO_FATAL_FAILURE(Replay(Record(dir_, rows)));
  ASSERT_EQ(script_->exchanges.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    // The schedule kept: each piece at its time after the request's end.
    const auto& reply = script_->exchanges[i].reply;
    ASSERT_EQ(reply.size(), rows[i].reply.size()) << i;
    for (size_t c = 0; c < reply.size(); ++c) {
      EXPECT_EQ(reply[c].delay.count(), rows[i].reply[c].first * 1000);
      EXPECT_EQ(reply[c].bytes, rows[i].reply[c].second);
    }
    comm_->ClearError();
    const auto [hr, value] = Read(kRegister, rows[i].code == 133);
    EXPECT_EQ(Code(), rows[i].code) << i;
    EXPECT_EQ(hr == S_OK ? value : 0, rows[i].value) << i;
  }
  EXPECT_EQ(Read(kRegister), std::make_pair(S_OK, 4485));
  EXPECT_EQ(Notices(),
            "request frame 1: the recorded parity error cannot be reproduced "
            "on a pseudo-terminal; left out\n"
            "the recording's 4 request frames are replayed; the model "
            "answers from here\n");
  EXPECT_EQ(emulator_->Requests().size(), rows.size() + 1);
  // Lead bytes, which the instrument does not examine, may differ.
  Bytes lead = RequestFrame(0x7E01, Le32(kRegister));
  lead[0] = 0x42;
  lead = WithChecksum(lead);
  EXPECT_TRUE(emu::SameRequest(script_->exchanges[0].request, lead.data(),
                               lead.size()));
}

TEST_F(ReplayTest, ARecordedTestRunReplaysFrameForFrame) {
  const std::string field = dir_.File("field.pcapng");
  SetRecordingPath(field);
  Start();
  ASSERT_TRUE(emulator_->AddFault("checksum@cmd=6@every=3"));
  const std::vector<std::string> results = TestRun(10000);
  ASSERT_EQ(results[5], std::to_string(E_FAIL) + " 138 0.000000");
  comm_->ClosePort();
  ReplayTwentyTimes(
      field, [&] { return TestRun(10000); }, results);
  // One parameter changed: the model answers it, or a strict replay stops.
  ASSERT_NO_FATAL_FAILURE(Replay(field));
  EXPECT_EQ(TestRun(11000)[1], "0 0 0.000000");
  EXPECT_EQ(Notices().rfind(
                "request frame 2 differs from the recording; the model", 0),
            0u);
  comm_->ClosePort();
  ASSERT_NO_FATAL_FAILURE(Replay(field, true));
  Silent([&] { return TestRun(11000); });
  EXPECT_EQ(Notices().rfind(
                "replay diverged at request frame 2 of 10\n  recorded:", 0),
            0u);
}

// A download whose first block reply comes corrupted, failing, then done
// again on the port opened anew: three sections of the file (the port the
// set-up reopens first), all served.
TEST_F(ReplayTest, ARecordedDownloadReplaysFrameForFrame) {
  Bytes image;
  ASSERT_TRUE(WriteFileBytes("Q7I.X0", ImageFile(64, "01.20.02", &image)));
  const auto setupTwice = [this] {
    std::vector<std::string> got;
    for (int i = 0; i < 2; ++i) {
      const HRESULT hr = comm_->SetupComm(kComPort, BPS_115200, 5);
      got.push_back(std::to_string(hr) + " " + std::to_string(Code()));
      comm_->ClosePort();
      comm_->ClearError();
    }
    return got;
  };
  const std::string field = dir_.File("field.pcapng");
  SetRecordingPath(field);
  EmulatorOptions options;
  options.model.flash.firmware = Firmware("01.20.01");
  ASSERT_NO_FATAL_FAILURE(Start(options));
  ASSERT_TRUE(emulator_->AddFault("checksum@cmd=0x000B@once"));
  const std::vector<std::string> results = setupTwice();
  ASSERT_EQ(results,
            (std::vector<std::string>{std::to_string(E_FAIL) + " 138", "0 0"}));
  ReplayTwentyTimes(field, setupTwice, results);
}

// A port that failed half-way through a reply fails there again.
TEST_F(ReplayTest, APortFailureClosesTheLineWhereItWasRecorded) {
  const Bytes reply = LineBytes(AckFrame(0x7E01, Le32(9)));
  const Row row{{{1, Bytes(reply.begin(), reply.begin() + 6)}}, 0, 0};
  ASSERT_NO_FATAL_FAILURE(
      Replay(Record(dir_, {row}, kRecordingFormatVersion, 0, -197)));
  EXPECT_EQ(Read(kRegister, true).first, E_FAIL);  // not a time-out
  EXPECT_EQ(Code(), 297);
}

// Recorded, replayed to the component as a line-state notification, and
// recorded again in the same place: after the request, before the reply
// (whose 0xFF goes doubled).
TEST_F(ReplayTest, ALineErrorRoundTripsThroughAnRfc2217Replay) {
  const Row row{
      {{1, {}}, {40, LineBytes(AckFrame(0x7E01, Le32(0x1FF)))}}, 0, 0};
  const std::string request =
      std::to_string(LineBytes(RequestFrame(0x7E01, Le32(kRegister))).size());
  const struct {
    uint32_t recorded;
    const char* again;  // the component's event, or none
  } cases[] = {
      {kRecordingLineErrorParity, "/0 kind 5 command 0 code 0 1"},
      {kRecordingLineErrorFraming, "/0 kind 5 command 0 code 0 2"},
      {kRecordingLineErrorOverrun, "/0 kind 5 command 0 code 0 4"},
      {kRecordingLineErrorBreak | kRecordingLineErrorParity,
       "/0 kind 5 command 0 code 0 17"},
      {kRecordingLineErrorReceiveOverflow, nullptr},  // no telnet bit for it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.recorded);
    const std::string again = dir_.File("again.pcapng");
    std::remove(again.c_str());
    SetRecordingPath(again);
    ASSERT_NO_FATAL_FAILURE(
        Replay(Record(dir_, {row}, kRecordingFormatVersion, c.recorded), false,
               "rfc2217://127.0.0.1:0"));
    EXPECT_EQ(Read(kRegister), std::make_pair(S_OK, 0x1FF));
    comm_->ClosePort();
    const std::vector<std::string> placed = std::get<2>(Flow(again));
    std::vector<std::string> errors;
    for (const std::string& e : placed) {
      if (e.find(" kind 5 ") != std::string::npos) errors.push_back(e);
    }
    EXPECT_EQ(errors, c.again ? std::vector<std::string>{request + c.again}
                              : std::vector<std::string>{});
  }
}

TEST(ReplayProgram, BadRecordingExits2AndStrictDivergenceExits3) {
  ScopedTempDir dir;
  const std::string path = Record(dir, {Rows()[3]}, 7);
  const char* args[] = {"q7k-emulator", "--replay", path.c_str()};
  std::ostringstream out, err;
  EXPECT_EQ(emu::ParseCommandLine(3, args, out, err).exitCode, 2);
  EXPECT_NE(err.str().find("version 7 is not known"), std::string::npos);

  Record(dir, {Rows()[3]});
  std::FILE* program =
      popen(("exec timeout 10 " + std::string(Q7K_EMULATOR_BINARY) +
             " --strict --replay " + path + " 2>" + dir.File("err"))
                .c_str(),
            "r");
  ASSERT_NE(program, nullptr);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, program), nullptr);
  line[std::strcspn(line, "\n")] = 0;
  HostLine(line).Send(0x7E01, Le32(1));
  const int status = pclose(program);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
  EXPECT_NE(ReadFileBytes(dir.File("err"))
                .find("diverged at request frame 1 of 1\n"
                      "  recorded: command 0x7E01, 4 payload "
                      "bytes: 20 40 64 00\n  received: command "
                      "0x7E01, 4 payload bytes: 01 00 00 00"),
            std::string::npos);
}

}  // namespace
}  // namespace q7k
