#include "soak.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "emulator.h"
#include "link/error_codes.h"
#include "link/le_bytes.h"
#include "link/link_errors.h"
#include "q7kcomm/q7kcomm.h"

namespace q7k {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;

constexpr int64_t kReplyTimeoutMs = 4000;
constexpr int64_t kMarginMs = 1500;  // a loaded machine, a split reply
constexpr size_t kMaxProblems = 10;

// A fault the instrument puts on one reply, the codes the component may
// report for it (none: the call must succeed) and how often it is drawn.
struct SoakFault {
  const char* rule;
  std::set<short> codes;
  int weight;
  bool closesLine = false;
};

constexpr short Link(int32_t linkError) {
  return static_cast<short>(LinkErrorCode(linkError));
}

// A time-out costs its full 4 s, so silence is drawn rarely.
const SoakFault kFaults[] = {
    {"checksum@once", {Link(kLinkBadChecksum)}, 8},
    {"number@once", {Link(kLinkBadNumber)}, 8},
    {"length@once", {Link(kLinkBadLength)}, 8},
    {"acknak@once", {Link(kLinkBadAckNak)}, 8},
    {"oversize@once", {Link(kLinkTooLong)}, 8},
    {"split=4,1@once", {}, 8},
    {"noise=64@once", {}, 8},
    {"nak=5@once", {kInstrumentFlashFull}, 4},
    {"nak=11,0200@once", {kSelfTestCode + 2}, 4},
    {"nak=13,0900@once", {kBadParameterCode}, 4},
    {"nak=14,0200@once", {kSafetyBitCode + 1}, 4},
    {"close@once", {Link(kPortOsError)}, 4, true},
    {"silence@once", {Link(kLinkTimeout)}, 1},
};

// The data of the instrument's last reply, its ACK byte dropped.
using ReplyData = std::function<Bytes()>;

// One kind of call: runs it and, after S_OK, puts into *mismatch what
// differs between the decoded values and the reply's bytes.
struct SoakOperation {
  const char* name;
  std::function<HRESULT(IQ7kComm*, std::string* mismatch, const ReplyData&)>
      run;
  // The instrument refuses EEPROM writes while a test runs: the soak stops
  // the test in the model around the call, off the line.
  bool needsIdle = false;
};

// The text of a reply field, up to its first NUL.
std::string Field(const Bytes& r, size_t at, size_t size) {
  if (r.size() < at + size) return "(short reply)";
  const auto* begin = reinterpret_cast<const char*>(r.data() + at);
  return std::string(begin, strnlen(begin, size));
}

ComPtr<IQ7kEeprom> Eeprom(IQ7kComm* c) {
  ComPtr<IQ7kEeprom> e;
  c->QueryInterface(IID_IQ7kEeprom, e.AsVoidOut());
  return e;
}

std::string Differs(const char* what, double got, double sent) {
  if (got == sent || (got != got && sent != sent)) return {};
  return std::string(what) + " " + std::to_string(got) +
         " != " + std::to_string(sent) + "; ";
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
      {"ReadFlashDirectory",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         const HRESULT hr = c->ReadFlashDirectory();
         if (hr != S_OK) return hr;
         const Bytes r = reply();
         short count = 0;
         c->get_FlashDirCount(&count);
         c->ReadFlashDirInfo(0);
         Bstr name;
         c->get_AppName(name.out());
         *m = Differs("FlashDirCount", count, LoadI16(r.data()));
         if (name.utf8() != Field(r, 4, 8)) *m += "AppName " + name.utf8();
         return hr;
       }},
      {"SearchForApp",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         short entry = -1;
         const HRESULT hr = c->SearchForApp(
             Bstr(u"Q7I").get(), Bstr(u"03/12/02").get(),
             Bstr(u"14:05:33").get(), Bstr(u"01.20.02").get(), &entry);
         if (hr == S_OK) *m = Differs("entry", entry, LoadI16(reply().data()));
         return hr;
       }},
      {"ReadInt",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         short word = 0;
         const HRESULT hr = Eeprom(c)->ReadInt(0, 0, 0, &word);
         if (hr == S_OK) *m = Differs("word", word, LoadI16(reply().data()));
         return hr;
       }},
      {"ReadFloat",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         float value = 0.0f;
         const HRESULT hr = Eeprom(c)->ReadFloat(0, 3, 80, &value);
         if (hr == S_OK) *m = Differs("float", value, LoadF32(reply().data()));
         return hr;
       }},
      {"ReadContents",
       [](IQ7kComm* c, std::string* m, const ReplyData& reply) {
         const ComPtr<IQ7kEeprom> e = Eeprom(c);
         const HRESULT hr = e->ReadContents(0, 0);
         if (hr != S_OK) return hr;
         const Bytes r = reply();  // the last 32 words
         short sum = -1, last = 0;
         e->get_Checksum(&sum);
         e->get_ValInt(255, &last);
         *m = Differs("board sum", sum, 0) +
              Differs("word 255", last, LoadI16(&r[62]));
         return hr;
       }},
      {"SafeWriteInt",
       [](IQ7kComm* c, std::string* m, const ReplyData&) {
         static short next = 0;
         next = static_cast<short>(next + 1);
         const short value = next;
         const ComPtr<IQ7kEeprom> e = Eeprom(c);
         const HRESULT hr = e->SafeWriteInt(4, 0, 100, value);
         if (hr != S_OK) return hr;
         short stored = 0, sum = -1;
         e->ReadInt(4, 0, 100, &stored);
         e->CalculateChecksum(4, 0, &sum);
         *m = Differs("stored", stored, value) + Differs("board sum", sum, 0);
         return hr;
       },
       true},
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

bool IsTimeOut(const SoakFault& f) {
  return f.codes.count(Link(kLinkTimeout)) != 0;
}

const SoakFault* DrawFault(std::mt19937& random, const SoakOptions& options) {
  if (static_cast<int>(random() % 100) >= options.faultPercent) return nullptr;
  const auto drawn = [&](const SoakFault& f) {
    return options.timeOuts || !IsTimeOut(f);
  };
  int total = 0;
  for (const SoakFault& f : kFaults) total += drawn(f) ? f.weight : 0;
  int pick = static_cast<int>(random() % static_cast<unsigned>(total));
  for (const SoakFault& f : kFaults) {
    if (drawn(f) && (pick -= f.weight) < 0) return &f;
  }
  return nullptr;
}

// The line the emulator opens after a close fault, handed over from its
// worker thread.
// Counted, not compared by path: the host may still be closing the old
// line when the new one opens, and a freed terminal number can come back.
class LineWatch {
 public:
  void Reopened(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
    ++reopens_;
    changed_.notify_all();
  }
  // The path of the line opened after the first `seen` reopenings; empty
  // after 5 s without one.
  std::string WaitForReopen(int seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool reopened = changed_.wait_for(
        lock, std::chrono::seconds(5), [&] { return reopens_ > seen; });
    return reopened ? path_ : std::string();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string path_;
  int reopens_ = 0;
};

// Drives the session; returns false when it cannot go on.
bool Drive(const SoakOptions& options, Emulator& emulator, LineWatch& line,
           SoakReport* report) {
  auto problem = [report](const std::string& text) {
    report->problems.push_back(text);
  };
  ComPtr<IQ7kComm> comm;
  if (CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm.AsVoidOut()) != S_OK) {
    problem("no component object");
    return false;
  }
  const auto port = static_cast<Q7K_PORT>(options.port);
  Q7K_INIT_PARAMS init{};
  init.MaxVolts = 12;
  init.XfmrMaxTempTime = 3600;
  Q7K_RUNTM_PARAMS run{};
  run.TestVoltage = 10000;
  run.Frequency = 60.0f;
  Q7K_TEST_PARAMS params{};
  // The result polls need a running test.
  if (comm->OpenPort(port, BPS_115200) != S_OK ||
      comm->InitTestParams(&init) != S_OK ||
      comm->UpdateRuntimeParams(&run) != S_OK ||
      comm->StartQ7kTest(&params) != S_OK) {
    problem("session start failed");
    return false;
  }
  const ReplyData lastReply = [&emulator] {
    const auto requests = emulator.Requests();
    if (requests.empty() || requests.back().reply.empty()) return Bytes{};
    return Bytes(requests.back().reply.begin() + 1,
                 requests.back().reply.end());
  };
  std::mt19937 random(options.seed);
  const auto& ops = Operations();
  int closes = 0;
  for (long i = 0; i < options.transactions; ++i) {
    if (report->problems.size() >= kMaxProblems) break;
    const SoakOperation& op = ops[random() % ops.size()];
    const SoakFault* fault = DrawFault(random, options);
    if (op.needsIdle) {
      emulator.WithModel(
          [](emu::InstrumentModel& m) { return m.tests().Stop(); });
    }
    if (fault != nullptr) emulator.AddFault(fault->rule);
    emulator.ClearRequests();
    comm->ClearError();
    std::string mismatch;
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = op.run(comm.Get(), &mismatch, lastReply);
    const int64_t ms = std::chrono::duration_cast<milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    ++report->transactions;
    ++report->faults[fault ? fault->rule : "none"];
    ++report->calls[op.name];
    report->slowestMs = std::max(report->slowestMs, ms);
    short code = 0;
    comm->get_ErrorCode(&code);
    const std::string where = "transaction " + std::to_string(i) + " " +
                              op.name + " with " +
                              (fault ? fault->rule : "no fault") + ": ";
    if (ms > kReplyTimeoutMs + kMarginMs) {
      problem(where + std::to_string(ms) + " ms");
    }
    if (fault == nullptr || fault->codes.empty()) {
      if (hr != S_OK) problem(where + "failed, code " + std::to_string(code));
      if (!mismatch.empty()) problem(where + mismatch);
    } else if (hr != E_FAIL || fault->codes.count(code) == 0) {
      problem(where + "result " + std::to_string(hr) + ", code " +
              std::to_string(code));
    }
    if (fault != nullptr && fault->closesLine) {
      comm->ClosePort();
      const std::string path = line.WaitForReopen(closes++);
      SetSerialPortPath(options.port, path);
      if (comm->OpenPort(port, BPS_115200) != S_OK) {
        short openCode = 0;
        comm->get_ErrorCode(&openCode);
        problem(where + "no new line at " + path + ", code " +
                std::to_string(openCode));
        return false;
      }
    }
    if (op.needsIdle) {
      emulator.WithModel(
          [](emu::InstrumentModel& m) { return m.tests().Start(); });
    }
  }
  comm->ClosePort();
  return true;
}

}  // namespace

std::string SoakReport::Summary() const {
  std::string text = std::to_string(transactions) + " transactions, slowest " +
                     std::to_string(slowestMs) + " ms, descriptors " +
                     std::to_string(fdsBefore) + "->" +
                     std::to_string(fdsAfter) + ", threads " +
                     std::to_string(threadsBefore) + "->" +
                     std::to_string(threadsAfter) + ", problems " +
                     std::to_string(problems.size()) + "; faults:";
  for (const auto& [rule, count] : faults) {
    text += " " + rule + " " + std::to_string(count);
  }
  text += "; calls:";
  for (const auto& [name, count] : calls) {
    text += " " + name + " " + std::to_string(count);
  }
  return text;
}

SoakReport RunSoak(const SoakOptions& options) {
  SoakReport report;
  // A sanitizer runtime starts a helper thread along with the process's
  // first thread; let it do so before the count.
  std::thread([] {}).join();
  report.fdsBefore = CountEntries("/proc/self/fd");
  report.threadsBefore = CountEntries("/proc/self/task");
  {
    EmulatorOptions emulatorOptions;
    emulatorOptions.model.test.rangingPolls = 2;
    Emulator emulator(emulatorOptions);
    LineWatch line;
    emulator.set_reopened_callback(
        [&line](const std::string& path) { line.Reopened(path); });
    const std::string path = emulator.Start();
    if (path.empty()) {
      report.problems.push_back("emulator: " + emulator.error());
    } else {
      SetSerialPortPath(options.port, path);
      Drive(options, emulator, line, &report);
      SetSerialPortPath(options.port, "");
    }
    emulator.Stop();
  }
  report.fdsAfter = CountEntries("/proc/self/fd");
  report.threadsAfter = CountEntries("/proc/self/task");
  return report;
}

}  // namespace q7k
