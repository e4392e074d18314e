// The soak: many transactions through the public API against the virtual
// instrument, with a random fault on about one reply in ten. Every call
// returns within its time-out plus a margin, every failure carries the code
// its fault documents, every successful reply decodes to exactly the bytes
// the instrument sent, and nothing (descriptor, thread) is left behind.
//
// CI runs 1,000 transactions; the long run sets the count:
//   Q7K_SOAK_TRANSACTIONS=20000 q7kcomm_tests --gtest_filter='EmulatorSoak*'
// Q7K_SOAK_SEED picks another random sequence (printed at the end).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "emulator.h"
#include "link/le_bytes.h"
#include "q7kcomm/q7kcomm.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kPort = 9;
constexpr int64_t kReplyTimeoutMs = 4000;
constexpr int64_t kMarginMs = 1500;  // a loaded machine, a split reply

// A fault the instrument can put on one reply, the codes the component may
// report for it (empty: the call must succeed) and how often it is drawn.
struct SoakFault {
  const char* rule;
  std::set<short> codes;
  int weight;
  bool closesLine = false;
};

// A time-out costs its full 4 s, so silence is drawn rarely.
const SoakFault kFaults[] = {
    {"checksum@once", {138}, 8},   {"number@once", {137}, 8},
    {"length@once", {139}, 8},     {"acknak@once", {140}, 8},
    {"oversize@once", {135}, 8},   {"split=4,1@once", {}, 8},
    {"noise=64@once", {}, 8},      {"nak=5@once", {5}, 4},
    {"nak=11,0200@once", {12}, 4}, {"nak=13,0900@once", {21}, 4},
    {"nak=14,0200@once", {23}, 4}, {"close@once", {297}, 4, true},
    {"silence@once", {133}, 1},
};

// The data of the instrument's last reply (its ACK byte dropped).
using ReplyData = std::function<Bytes()>;

// One kind of call the soak makes: it runs the call and, after S_OK,
// returns what differs between the decoded values and the reply's bytes
// (empty when they match).
struct SoakOperation {
  const char* name;
  std::function<HRESULT(IQ7kComm*, std::string* mismatch, const ReplyData&)>
      run;
};

std::string Differs(const char* what, double got, double sent) {
  if (got == sent || (got != got && sent != sent)) return {};
  return std::string(what) + " " + std::to_string(got) +
         " != " + std::to_string(sent);
}

HRESULT Results(IQ7kComm* c, std::string* mismatch, const ReplyData& reply,
                bool pair) {
  Q7K_TEST_PARAMS p{};
  p.SamplesToAvg = 10;
  Q7K_TEST_DATA d{};
  Q7K_THERMAL_DATA t{};
  HRESULT hr = S_OK;
  if (pair) {
    hr = c->RequestTestResults(&p);
    if (hr == S_OK) hr = c->ReceiveTestResults(&p, &d, &t);
  } else {
    hr = c->FullRequestTestResults(&p, &d, &t);
  }
  if (hr != S_OK) return hr;
  const Bytes r = reply();
  if (r.size() < 146) {
    *mismatch = "short reply";
    return hr;
  }
  *mismatch = Differs("KVoltMeas", d.KVoltMeas, LoadF32(&r[10])) +
              Differs("FrequencyMeas", d.FrequencyMeas, LoadF32(&r[78])) +
              Differs("SamplesAveraged", d.SamplesAveraged, LoadI16(&r[90])) +
              Differs("CardCageTemp", t.CardCageTemp, LoadF32(&r[92 + 12]));
  return hr;
}

const std::vector<SoakOperation>& Operations() {
  static const std::vector<SoakOperation> ops = {
      {"FullRequestTestResults",
       [](IQ7kComm* c, std::string* m, const ReplyData& r) {
         return Results(c, m, r, false);
       }},
      {"RequestTestResults+ReceiveTestResults",
       [](IQ7kComm* c, std::string* m, const ReplyData& r) {
         return Results(c, m, r, true);
       }},
      {"ReadAppInfo",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         const HRESULT hr = c->ReadAppInfo();
         if (hr != S_OK) return hr;
         Bstr version;
         c->get_AppVersion(version.out());
         const Bytes r = reply();
         if (version.utf8() != std::string(r.begin() + 24, r.begin() + 32)) {
           *m = "AppVersion " + version.utf8();
         }
         return hr;
       }},
      {"ReadThermalData",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         Q7K_THERMAL_DATA t{};
         const HRESULT hr = c->ReadThermalData(&t);
         if (hr != S_OK) return hr;
         const Bytes r = reply();
         *m = Differs("ExtTemperature", t.ExtTemperature, LoadF32(&r[0])) +
              Differs("XfmrOverheatTime", t.XfmrOverheatTime, LoadU16(&r[46]));
         return hr;
       }},
      {"RegRead",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         int32_t v = 0;
         const HRESULT hr = c->RegRead(0x644020, &v);
         if (hr == S_OK) *m = Differs("register", v, LoadI32(&reply()[0]));
         return hr;
       }},
      {"ReadRefCalCoeffs",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         const HRESULT hr = c->ReadRefCalCoeffs();
         if (hr != S_OK) return hr;
         float blue = 0.0f;
         c->get_CalResistor(BLUE_RES, &blue);
         *m = Differs("blue resistor", blue, LoadF32(&reply()[16]));
         return hr;
       }},
      {"RequestRawResults",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         Q7K_RAW_DATA raw{};
         const HRESULT hr = c->RequestRawResults(&raw);
         if (hr == S_OK) {
           *m =
               Differs("SpecimenPeak", raw.SpecimenPeak, LoadF32(&reply()[10]));
         }
         return hr;
       }},
      {"ReadCalInfo", [](IQ7kComm* c, std::string*,
                         const ReplyData&) { return c->ReadCalInfo(); }},
      {"SetXfmrBoundaryTemps",
       [](IQ7kComm* c, std::string*, const ReplyData&) {
         return c->SetXfmrBoundaryTemps(85.0f, 60.0f);
       }},
  };
  return ops;
}

size_t CountEntries(const char* dir) {
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(dir);
       it != std::filesystem::directory_iterator(); ++it) {
    ++n;
  }
  return n;
}

long EnvNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::strtol(text, nullptr, 10) : fallback;
}

class EmulatorSoakTest : public ::testing::Test {
 protected:
  // The line the emulator opened after a close fault.
  std::string WaitForNewLine(const std::string& old) {
    std::unique_lock<std::mutex> lock(mutex_);
    reopened_.wait_for(lock, std::chrono::seconds(5),
                       [&] { return linePath_ != old; });
    return linePath_;
  }
  void OnReopened(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    linePath_ = path;
    reopened_.notify_all();
  }

  ScopedTempDir dir_;
  std::mutex mutex_;
  std::condition_variable reopened_;
  std::string linePath_;
};

TEST_F(EmulatorSoakTest, RandomFaultsOnOneReplyInTen) {
  const long transactions = EnvNumber("Q7K_SOAK_TRANSACTIONS", 1000);
  const auto seed = static_cast<uint32_t>(EnvNumber("Q7K_SOAK_SEED", 12));
  const size_t fdsBefore = CountEntries("/proc/self/fd");
  const size_t threadsBefore = CountEntries("/proc/self/task");

  std::map<std::string, int> tally;
  int64_t slowestMs = 0;
  {
    EmulatorOptions options;
    options.model.test.rangingPolls = 2;
    Emulator emulator(options);
    emulator.set_reopened_callback(
        [this](const std::string& path) { OnReopened(path); });
    linePath_ = emulator.Start();
    ASSERT_FALSE(linePath_.empty()) << emulator.error();
    SetSerialPortPath(kPort, linePath_);
    ComPtr<IQ7kComm> comm;
    ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm.AsVoidOut()),
              S_OK);
    const auto port = static_cast<Q7K_PORT>(kPort);
    ASSERT_EQ(comm->OpenPort(port, BPS_115200), S_OK);
    Q7K_INIT_PARAMS init{};
    init.MaxVolts = 12;
    init.XfmrMaxTempTime = 3600;
    Q7K_RUNTM_PARAMS run{};
    run.TestVoltage = 10000;
    run.Frequency = 60.0f;
    Q7K_TEST_PARAMS params{};
    ASSERT_EQ(comm->InitTestParams(&init), S_OK);
    ASSERT_EQ(comm->UpdateRuntimeParams(&run), S_OK);
    ASSERT_EQ(comm->StartQ7kTest(&params), S_OK);

    const ReplyData lastReply = [&emulator] {
      const auto requests = emulator.Requests();
      if (requests.empty() || requests.back().reply.empty()) return Bytes{};
      return Bytes(requests.back().reply.begin() + 1,
                   requests.back().reply.end());
    };
    int totalWeight = 0;
    for (const SoakFault& f : kFaults) totalWeight += f.weight;
    std::mt19937 random(seed);
    const auto& ops = Operations();
    for (long i = 0; i < transactions && !HasFailure(); ++i) {
      const SoakOperation& op = ops[random() % ops.size()];
      const SoakFault* fault = nullptr;
      if (random() % 10 == 0) {
        int pick = static_cast<int>(random() % totalWeight);
        for (const SoakFault& f : kFaults) {
          if ((pick -= f.weight) < 0) {
            fault = &f;
            break;
          }
        }
        ASSERT_TRUE(emulator.AddFault(fault->rule));
      }
      emulator.ClearRequests();
      comm->ClearError();
      std::string mismatch;
      const auto start = SteadyClock::now();
      const HRESULT hr = op.run(comm.Get(), &mismatch, lastReply);
      const int64_t ms =
          std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start)
              .count();
      slowestMs = std::max(slowestMs, ms);
      short code = 0;
      comm->get_ErrorCode(&code);
      const std::string where = std::string(op.name) + " with " +
                                (fault ? fault->rule : "no fault") +
                                ", transaction " + std::to_string(i);
      EXPECT_LE(ms, kReplyTimeoutMs + kMarginMs) << where;
      const std::set<short> none;
      const std::set<short>& codes = fault ? fault->codes : none;
      if (codes.empty()) {
        EXPECT_EQ(hr, S_OK) << where << ": code " << code;
        EXPECT_EQ(mismatch, "") << where;
      } else {
        EXPECT_EQ(hr, E_FAIL) << where;
        EXPECT_EQ(codes.count(code), 1u) << where << ": code " << code;
      }
      ++tally[fault ? fault->rule : "none"];
      if (fault && fault->closesLine) {
        comm->ClosePort();
        SetSerialPortPath(kPort, WaitForNewLine(linePath_));
        ASSERT_EQ(comm->OpenPort(port, BPS_115200), S_OK) << where;
      }
    }
    comm->ClosePort();
    comm.Reset();
    emulator.Stop();
    SetSerialPortPath(kPort, "");
  }
  EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore);
  EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);

  std::string summary;
  for (const auto& [rule, count] : tally) {
    summary += " " + rule + ":" + std::to_string(count);
  }
  RecordProperty("faults", summary);
  std::printf("soak: %ld transactions, seed %u, slowest %lld ms,%s\n",
              transactions, seed, static_cast<long long>(slowestMs),
              summary.c_str());
}

}  // namespace
}  // namespace q7k
