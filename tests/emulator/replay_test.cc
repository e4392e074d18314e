// Replaying a session recording: the component on a pseudo-terminal gets
// the recorded replies, faults and silences at their frames, then the
// model's answers; a divergent request is answered by the model or, strict,
// stops the program with both frames named.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <sstream>

#include "emulator/host_line.h"
#include "link/recording_format.h"
#include "options.h"
#include "support/emulated_component.h"

namespace q7k {
namespace {

using testing_emu::HostLine;
constexpr int32_t kRegister = 0x644020;  // the model holds 4485 there

struct Row {
  // ms after the request and bytes; no bytes: a parity error on the line
  std::vector<std::pair<int, Bytes>> reply;
  short code;
  int32_t value;
};

std::vector<Row> Rows() {
  const Bytes ok = LineBytes(AckFrame(0x7E01, Le32(1234)));
  Bytes corrupt = AckFrame(0x7E01, Le32(5));
  corrupt.back() ^= 1;
  return {
      {{{4, Bytes(ok.begin(), ok.begin() + 3)},
        {6, {}},
        {9, Bytes(ok.begin() + 3, ok.end())}},
       0,
       1234},
      {{{1, LineBytes(corrupt)}}, 138, 0},
      {{}, 133, 0},
      {{{2, Concat({{0x55, 0xAA}, LineBytes(AckFrame(0x7E01, Le32(777)))})}},
       0,
       777},
  };
}

std::string Record(const ScopedTempDir& dir, const std::vector<Row>& rows,
                   uint32_t version = kRecordingFormatVersion) {
  std::vector<uint8_t> file;
  AppendRecordingHeader("q7kcomm test", "COM8", &file);
  RecordingEvent start;
  start.kind = RecordingEventKind::kStart;
  start.number = version;
  AppendRecordingEvent(start, &file);
  const Bytes request = LineBytes(RequestFrame(0x7E01, Le32(kRegister)));
  uint64_t t = 1000000;
  for (const Row& row : rows) {
    AppendRecordingData(t, RecordingDirection::kToInstrument, request.data(),
                        request.size(), &file);
    for (const auto& [ms, bytes] : row.reply) {
      RecordingEvent error;
      error.kind = RecordingEventKind::kLineError;
      error.timeUs = t + ms * 1000;
      error.number = kLineErrorParity;
      if (bytes.empty()) {
        AppendRecordingEvent(error, &file);
        continue;
      }
      AppendRecordingData(t + ms * 1000, RecordingDirection::kFromInstrument,
                          bytes.data(), bytes.size(), &file);
    }
    t += 100000;
  }
  const std::string path = dir.File("session.pcapng");
  WriteFileBytes(path, std::string(file.begin(), file.end()));
  return path;
}

// The line bytes one way, all of a recording's.
Bytes Stream(const std::string& path, RecordingDirection direction) {
  Recording r;
  std::string error;
  EXPECT_TRUE(LoadRecording(path, &r, &error)) << error;
  Bytes all;
  for (const RecordingEvent& e : r.events) {
    if (e.direction == direction) {
      all.insert(all.end(), e.bytes.begin(), e.bytes.end());
    }
  }
  return all;
}

class ReplayTest : public EmulatedComponentTest {
 protected:
  void TearDown() override {
    SetRecordingPath("");
    EmulatedComponentTest::TearDown();
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
    Q7K_TEST_PARAMS params{};
    params.SamplesToAvg = 10;
    Q7K_TEST_DATA data{};
    Q7K_THERMAL_DATA thermal{};
    std::vector<std::string> got;
    const auto note = [&](HRESULT hr) {
      got.push_back(std::to_string(hr) + " " + std::to_string(Code()) + " " +
                    std::to_string(data.Amperes));
      comm_->ClearError();
    };
    note(comm_->InitTestParams(&init));
    note(comm_->UpdateRuntimeParams(&run));
    note(comm_->StartQ7kTest(&params));
    for (int i = 0; i < 6; ++i) {
      note(comm_->FullRequestTestResults(&params, &data, &thermal));
    }
    note(comm_->StopQ7kTest());
    return got;
  }
  void Replay(const std::string& path, bool strict = false) {
    auto script = std::make_shared<emu::ReplayScript>();
    std::string error;
    ASSERT_TRUE(emu::LoadReplayScript(path, script.get(), &error)) << error;
    script_ = script;
    EmulatorOptions options;
    options.replay = script;
    options.replayStrict = strict;
    emulator_ = std::make_unique<Emulator>(options);
    emulator_->set_replay_callback([this](const std::string& m, bool fatal) {
      std::lock_guard<std::mutex> lock(mutex_);
      notices_ += m + (fatal ? " [fatal]\n" : "\n");
      noticed_.notify_all();
    });
    Serve();
  }
  // RegRead of address; a silent reply times out on the fake clock.
  std::pair<HRESULT, int32_t> Read(int32_t address, bool silent) {
    int32_t value = 0;
    auto call = std::async(std::launch::async,
                           [&] { return comm_->RegRead(address, &value); });
    if (silent) clock_->AdvanceToNextDeadline();
    return {call.get(), value};
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

TEST_F(ReplayTest, RecordedRepliesFaultsAndSilenceThenTheModel) {
  UseFakeClock();
  const std::vector<Row> rows = Rows();
  ASSERT_NO_FATAL_FAILURE(Replay(Record(dir_, rows)));
  ASSERT_EQ(script_->exchanges.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    // The schedule the emulator keeps: each chunk as recorded.
    const auto& reply = script_->exchanges[i].reply;
    ASSERT_EQ(reply.size(), rows[i].reply.size()) << i;
    for (size_t c = 0; c < reply.size(); ++c) {
      EXPECT_EQ(reply[c].delay.count(), rows[i].reply[c].first * 1000);
      EXPECT_EQ(reply[c].bytes, rows[i].reply[c].second);
    }
    comm_->ClearError();
    const auto [hr, value] = Read(kRegister, rows[i].code == 133);
    EXPECT_EQ(hr, rows[i].code == 0 ? S_OK : E_FAIL) << i;
    EXPECT_EQ(Code(), rows[i].code) << i;
    if (hr == S_OK) {
      EXPECT_EQ(value, rows[i].value) << i;
    }
  }
  EXPECT_EQ(Read(kRegister, false), std::make_pair(S_OK, 4485));
  EXPECT_EQ(Notices(),
            "request frame 1: the recorded parity error cannot be reproduced "
            "on a pseudo-terminal; left out\n"
            "the recording's 4 request frames are replayed; the model "
            "answers from here\n");
  EXPECT_EQ(emulator_->Requests().size(), rows.size() + 1);
}

// Strict, the program stops instead (below).
TEST_F(ReplayTest, ADivergentRequestTakesTheRecordedOnesPlace) {
  ASSERT_NO_FATAL_FAILURE(Replay(Record(dir_, {Rows()[3], Rows()[3]})));
  EXPECT_EQ(Read(0x642010, false), std::make_pair(S_OK, 2));
  EXPECT_EQ(Notices(),
            "request frame 1 differs from the recording; the model answers "
            "it\n  recorded: command 0x7E01, 4 payload bytes: 20 40 64 00\n"
            "  received: command 0x7E01, 4 payload bytes: 10 20 64 00\n");
  EXPECT_EQ(Read(kRegister, false), std::make_pair(S_OK, 777));
}

TEST_F(ReplayTest, ARecordedTestRunReplaysFrameForFrame) {
  UseFakeClock();
  const std::string field = dir_.File("field.pcapng");
  SetRecordingPath(field);
  Start();
  ASSERT_TRUE(emulator_->AddFault("checksum@cmd=6@every=3"));
  const std::vector<std::string> results = TestRun(10000);
  ASSERT_EQ(results[5], std::to_string(E_FAIL) + " 138 0.000000");
  comm_->ClosePort();
  const auto out = RecordingDirection::kToInstrument;
  const auto in = RecordingDirection::kFromInstrument;
  for (int run = 0; run < 20; ++run) {
    const std::string replay = dir_.File("replay.pcapng");
    SetRecordingPath(replay);
    ASSERT_NO_FATAL_FAILURE(Replay(field));
    EXPECT_EQ(TestRun(10000), results) << run;
    comm_->ClosePort();
    EXPECT_EQ(Stream(replay, out), Stream(field, out)) << run;
    EXPECT_EQ(Stream(replay, in), Stream(field, in)) << run;
    std::filesystem::remove(replay);
  }
  SetRecordingPath("");
  ASSERT_NO_FATAL_FAILURE(Replay(field, true));
  // Nothing is answered from the divergence on: each call times out.
  auto run = std::async(std::launch::async, [&] { return TestRun(11000); });
  while (run.wait_for(std::chrono::milliseconds(50)) !=
         std::future_status::ready) {
    clock_->AdvanceToNextDeadline();
  }
  EXPECT_EQ(Notices().substr(0, 52),
            "replay diverged at request frame 2 of 10\n  recorded:");
}

TEST(ReplayListener, ALineErrorReachesAnRfc2217ClientInItsPlace) {
  ScopedTempDir dir;
  const Bytes ok = LineBytes(AckFrame(0x7E01, Le32(1)));
  auto script = std::make_shared<emu::ReplayScript>();
  std::string error;
  ASSERT_TRUE(emu::LoadReplayScript(Record(dir, {{{{1, {}}, {2, ok}}, 0, 1}}),
                                    script.get(), &error));
  EmulatorOptions options;
  options.replay = script;
  options.line.listen = "rfc2217://127.0.0.1:0";
  Emulator emulator(options);
  HostLine host(testing_emu::Connect(emulator.Start()));
  host.Send(0x7E01, Le32(kRegister));
  // IAC SB COM-PORT-OPTION NOTIFY-LINESTATE parity IAC SE, then the reply
  // with its 0xFF doubled.
  Bytes expected = {0xFF, 0xFA, 44, 106, 4, 0xFF, 0xF0};
  for (uint8_t b : ok) expected.insert(expected.end(), b == 0xFF ? 2 : 1, b);
  EXPECT_EQ(host.ReadLine(), expected);
}

TEST(ReplayScript, FramesAcrossWritesLineErrorsAndUnknownVersions) {
  const auto event = [](uint64_t t, RecordingEventKind kind, Bytes bytes,
                         RecordingDirection d) {
    RecordingEvent e;
    e.timeUs = t;
    e.kind = kind;
    e.number = kind == RecordingEventKind::kStart ? kRecordingFormatVersion
                                                  : kLineErrorParity;
    e.bytes = std::move(bytes);
    e.direction = d;
    return e;
  };
  constexpr auto kData = RecordingEventKind::kData;
  constexpr auto kOut = RecordingDirection::kToInstrument;
  Bytes two = Concat({LineBytes(RequestFrame(1, {})),
                      LineBytes(RequestFrame(2, {}))});
  two.pop_back();
  // Two requests in one write, the second ending in the next one.
  Recording r;
  r.events = {
      event(0, RecordingEventKind::kStart, {}, {}),
      event(10, kData, two, kOut),
      event(30, kData, {kEtx}, kOut),
      event(45, RecordingEventKind::kLineError, {}, {}),
      event(50, kData, {1, 2}, RecordingDirection::kFromInstrument),
  };
  emu::ReplayScript s;
  std::string error;
  ASSERT_TRUE(emu::BuildReplayScript(r, &s, &error)) << error;
  ASSERT_EQ(s.exchanges.size(), 2u);
  EXPECT_EQ(s.exchanges[0].reply.size(), 0u);
  ASSERT_EQ(s.exchanges[1].reply.size(), 2u);
  EXPECT_EQ(s.exchanges[1].reply[0].lineErrors, kLineErrorParity);
  EXPECT_EQ(s.exchanges[1].reply[0].delay.count(), 15);
  EXPECT_EQ(s.exchanges[1].reply[1].delay.count(), 20);

  // Compared as the instrument reads them: not its lead bytes.
  Bytes lead = RequestFrame(2, {}), length = lead;
  lead[0] = 0x42;
  length[4] = 1;
  EXPECT_TRUE(emu::SameRequest(s.exchanges[1].request,
                               WithChecksum(lead).data(), lead.size()));
  EXPECT_FALSE(emu::SameRequest(s.exchanges[1].request,
                                WithChecksum(length).data(), length.size()));
  lead.back() ^= 1;
  EXPECT_FALSE(emu::SameRequest(s.exchanges[1].request, lead.data(), 8));

  r.events[0].number = kRecordingFormatVersion + 1;
  EXPECT_FALSE(emu::BuildReplayScript(r, &s, &error));
  EXPECT_EQ(error, "recording format version 2 is not known (this emulator "
                   "reads version 1)");
  r.events.erase(r.events.begin());
  EXPECT_FALSE(emu::BuildReplayScript(r, &s, &error));
}

TEST(ReplayProgram, BadRecordingExits2AndStrictDivergenceExits3) {
  ScopedTempDir dir;
  const std::string path = Record(dir, {Rows()[0]}, 7);
  const char* args[] = {"q7k-emulator", "--replay", path.c_str()};
  std::ostringstream out, err;
  emu::CommandLine cl = emu::ParseCommandLine(3, args, out, err);
  EXPECT_EQ(cl.exitCode, 2);
  EXPECT_NE(err.str().find("version 7 is not known"), std::string::npos);

  Record(dir, {Rows()[0]});
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
  EXPECT_NE(ReadFileBytes(dir.File("err")).find(
                "diverged at request frame 1 of 1\n  recorded: command 0x7E01"),
            std::string::npos);
}

}  // namespace
}  // namespace q7k
