// Throughput where the line is the limit: a firmware download and result
// polling against the virtual instrument pacing its line at 112500 bit/s,
// compared with the wire time of every encoded byte that crossed the line
// (10 bits a byte), counted from the instrument's own exchange trace.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/measure.h"
#include "support/device_server.h"

namespace q7k {
namespace bench {
namespace {

constexpr int32_t kPort = 11;
constexpr double kBaud = 112500;
constexpr uint16_t kResultsCommand = 0x0006;
constexpr uint16_t kDownloadBlockCommand = 0x000B;

// The virtual instrument on its own paced line, tracing every exchange.
class PacedInstrument {
 public:
  explicit PacedInstrument(const BenchConfig& config)
      : trace_(ScratchPath("exchanges.trace")), process_(Args(config, trace_)) {
    if (!process_.ok() || !process_.ReadLine(&path_)) path_.clear();
  }
  const std::string& path() const { return path_; }
  // Stops the instrument (its trace is then complete) and returns the
  // bytes that crossed the line in exchanges of command, both directions.
  uint64_t StopAndCountBytes(uint16_t command) {
    process_.Stop();
    std::ifstream in(trace_);
    uint64_t bytes = 0;
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      std::string word, stamp;
      words >> stamp >> word;
      if (word != "rx") continue;
      std::vector<unsigned> rx;
      uint64_t n = 0;
      while (words >> word && word != "tx") {
        rx.push_back(std::stoul(word, nullptr, 16));
      }
      while (words >> word && word[0] != '[' && word != "-") ++n;
      // 10 02 00 00 lo hi: the command of a request frame.
      if (rx.size() < 6 || (rx[4] | rx[5] << 8) != command) continue;
      bytes += rx.size() + n;
    }
    return bytes;
  }

 private:
  // A fresh trace: the instrument appends.
  static std::vector<std::string> Args(const BenchConfig& config,
                                       const std::string& trace) {
    unlink(trace.c_str());
    return {config.emulator, "--baud", "112500", "--trace", trace};
  }
  static std::string ScratchPath(const char* name) {
    char cwd[4096];
    return std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + name;
  }
  std::string trace_;
  ChildProcess process_;
  std::string path_;
};

// An application image of `bytes` data bytes (a multiple of 32) in records
// of 32 bytes; the data are pseudo-random, so DLE bytes are as frequent as
// in any image.
void WriteImage(const char* name, size_t bytes) {
  std::FILE* f = std::fopen(name, "w");
  uint32_t seed = 12345;
  for (size_t i = 0; i < bytes / 32; ++i) {
    std::fprintf(f, "%%%02X6008%08X", 14 + 64, 0x1000u + 8u * uint32_t(i));
    for (int k = 0; k < 32; ++k) {
      seed = seed * 1103515245u + 12345u;
      std::fprintf(f, "%02X", (seed >> 16) & 0xFF);
    }
    std::fprintf(f, "\r\n");
  }
  std::fprintf(f, "%%0E800800000000\r\n");
  std::fclose(f);
}

struct Download {
  double seconds = 0;
  double floorSeconds = 0;
  std::string error;
};

enum class Via { kPty, kServer, kServerWithoutCharDelay };

// Over the instrument's pseudo-terminal, or through ser2net's COM-port-
// control port in front of it.
Download TimeDownload(const BenchConfig& config, size_t bytes,
                      Via via = Via::kPty) {
  Download d;
  WriteImage("APP.X0", bytes);
  PacedInstrument instrument(config);
  const bool viaServer = via != Via::kPty;
  DeviceServer server(instrument.path(), via == Via::kServer);
  if (viaServer && !server.Start()) return {0, 0, server.error()};
  ComponentSession session(kPort,
                           viaServer ? server.Url(true) : instrument.path());
  if (!session.ok()) return {0, 0, session.error()};
  IQ7kComm* comm = session.comm();
  Bstr name = Bstr::FromUtf8("APP.X0");
  if (FAILED(comm->FillAppParams(name.get())) ||
      FAILED(comm->SendAppParams())) {
    return {0, 0, session.LastMessage()};
  }
  const auto start = WallClock::now();
  const HRESULT hr = comm->DownloadApp(name.get());
  d.seconds = Micros(WallClock::now() - start) / 1e6;
  if (FAILED(hr)) d.error = session.LastMessage();
  d.floorSeconds =
      instrument.StopAndCountBytes(kDownloadBlockCommand) * 10 / kBaud;
  return d;
}

// A running 10 kV test, so that result polls are answered.
bool StartTest(IQ7kComm* comm, Q7K_TEST_PARAMS* p) {
  Q7K_INIT_PARAMS init{};
  init.MaxVolts = 12;
  init.XfmrMaxTempTime = 3600;
  init.XfmrTemp = 35.0f;
  Q7K_RUNTM_PARAMS run{};
  run.TestVoltage = 10000;
  run.Frequency = 60.0f;
  run.EnableVoltCorrect = VC_ENABLE;
  p->KVolt = p->KVoltMax = 10.0f;
  p->Frequency = 60.0f;
  p->CapModel = p->IndModel = PARALLEL_MODEL;
  return SUCCEEDED(comm->StartPONSequence()) &&
         SUCCEEDED(comm->InitTestParams(&init)) &&
         SUCCEEDED(comm->UpdateRuntimeParams(&run)) &&
         SUCCEEDED(comm->StartQ7kTest(p));
}

}  // namespace

void RunNetworkDownload(const BenchConfig& config, Report* report) {
  ScratchDirectory scratch;
  const size_t bytes = (config.quick ? 64 : 256) * 1024;
  const Download pty = TimeDownload(config, bytes);
  for (const Via via : {Via::kServer, Via::kServerWithoutCharDelay}) {
    const Download net = TimeDownload(config, bytes, via);
    const double share = net.seconds > 0 ? pty.seconds / net.seconds : 0;
    report->Add(
        {Report::Format("Download of a %zu KiB image at 112500 bit/s through "
                        "ser2net (rfc2217://)%s",
                        bytes / 1024,
                        via == Via::kServer ? "" : ", chardelay: false"),
         net.error.empty() ? Report::Format("%.2f s", net.seconds) : net.error,
         Report::Format("%.2f s over the pty", pty.seconds),
         Report::Format("%.1f %% of the pty's speed", 100 * share), "≥ 95 %",
         net.error.empty() && share >= 0.95});
  }
}

void RunWireThroughput(const BenchConfig& config, Report* report) {
  ScratchDirectory scratch;
  const Download main = TimeDownload(config, 256 * 1024);
  const double share = main.seconds > 0 ? main.floorSeconds / main.seconds : 0;
  report->Add(
      {"Download of a 256 KiB image at 112500 bit/s",
       main.error.empty() ? Report::Format("%.2f s", main.seconds) : main.error,
       Report::Format("%.2f s wire time", main.floorSeconds),
       Report::Format("%.1f %% of wire speed", 100 * share), "≥ 90 %",
       share >= 0.9});

  // Least squares of time against size; linear when the fit leaves
  // nothing out.
  std::vector<size_t> sizes = {32, 128, 512, 1024};
  if (config.quick) sizes = {32, 64, 128};
  std::vector<double> x = {256}, y = {main.seconds},
                      floor = {main.floorSeconds};
  for (size_t kib : sizes) {
    const Download d = TimeDownload(config, kib * 1024);
    x.push_back(static_cast<double>(kib));
    y.push_back(d.seconds);
    floor.push_back(d.floorSeconds);
  }
  const double n = static_cast<double>(x.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0, sf = 0, sxf = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sx += x[i], sy += y[i], sxx += x[i] * x[i], sxy += x[i] * y[i];
    sf += floor[i], sxf += x[i] * floor[i];
  }
  const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  const double floorSlope = (n * sxf - sx * sf) / (n * sxx - sx * sx);
  const double intercept = (sy - slope * sx) / n;
  double worst = 0;  // largest departure from the line, relative
  for (size_t i = 0; i < x.size(); ++i) {
    const double fit = intercept + slope * x[i];
    worst = std::max(worst, std::abs(y[i] - fit) / y[i]);
  }
  std::string points;
  for (size_t i = 0; i < x.size(); ++i) {
    points += Report::Format("%s%.0f KiB %.2f s", i ? ", " : "", x[i], y[i]);
  }
  report->Add(
      {"Download time against size (" + points + ")",
       Report::Format("%.2f s/MiB, intercept %.2f s, worst point "
                      "%.1f %% off the line",
                      slope * 1024, intercept, 100 * worst),
       Report::Format("%.2f s/MiB wire time", floorSlope * 1024),
       Report::Format("%.1f %% of wire speed", 100 * floorSlope / slope),
       "linear, ≥ 90 %", worst < 0.02 && floorSlope / slope >= 0.9});

  // Result polling.
  PacedInstrument instrument(config);
  ComponentSession session(kPort, instrument.path());
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA data{};
  Q7K_THERMAL_DATA thermal{};
  IQ7kComm* comm = session.comm();
  const auto span = std::chrono::seconds(config.quick ? 1 : 3);
  int calls = 0;
  bool ok = session.ok() && StartTest(comm, &params);
  const auto start = WallClock::now();
  while (ok && WallClock::now() - start < span) {
    ok = SUCCEEDED(comm->FullRequestTestResults(&params, &data, &thermal));
    ++calls;
  }
  const double seconds = Micros(WallClock::now() - start) / 1e6;
  const uint64_t bytes = instrument.StopAndCountBytes(kResultsCommand);
  const double rate = calls / seconds;
  const double floorRate = bytes > 0 ? calls * kBaud / 10 / bytes : 0;
  report->Add({"FullRequestTestResults polling at 112500 bit/s",
               ok ? Report::Format("%.1f calls/s", rate)
                  : "failed: " + session.LastMessage(),
               Report::Format("%.1f calls/s (%.0f bytes a call)", floorRate,
                              calls ? double(bytes) / calls : 0.0),
               Report::Format("%.1f %% of wire speed", 100 * rate / floorRate),
               "≥ 90 %", ok && rate >= 0.9 * floorRate});
}

}  // namespace bench
}  // namespace q7k
