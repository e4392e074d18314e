#include "result_table.h"

#include <cmath>
#include <string>

#include "records.h"

namespace q7k::tool {
namespace {

// Not M_PI: strict C++ leaves it out on some platforms.
constexpr double kPi = 3.14159265358979323846;

void Row(std::FILE* out, const char* name, double value, const char* unit) {
  std::fprintf(out, "  %-36s %14.6g %s\n", name, value, unit);
}

}  // namespace

void PrintResultTable(const SessionResult& r, std::FILE* out) {
  const Q7K_TEST_DATA& d = r.data;
  std::fprintf(out, "Measured (after %d polls)\n", r.polls);
  Row(out, "Test voltage", d.KVoltMeas, "kV");
  Row(out, "Current", d.Amperes * 1000.0, "mA");
  Row(out, "Watts", d.Watts, "W");
  Row(out, "Power factor", d.PowerFactor, "%");
  Row(out, "Dissipation factor", d.TangentDelta, "");
  Row(out, "Frequency", d.FrequencyMeas, "Hz");
  Row(out, "Parallel capacitance", d.ParallelCap * 1e12, "pF");
  Row(out, "Series capacitance", d.SeriesCap * 1e12, "pF");
  Row(out, "Parallel resistance", d.ParallelRes, "ohm");
  Row(out, "Series resistance", d.SeriesRes, "ohm");
  Row(out, "Ambient temperature", r.thermal.ExtTemperature, "C");
  Row(out, "Humidity", r.thermal.ExtHumidity, "%");

  // Derived from the measured values with the parallel model's formulas,
  // to check them against the reported ones.
  std::fprintf(out, "Derived\n");
  const double volts = d.KVoltMeas * 1000.0;
  Row(out, "Apparent power V*I", volts * d.Amperes, "VA");
  const double wcr =
      2.0 * kPi * d.FrequencyMeas * double(d.ParallelCap) * d.ParallelRes;
  Row(out, "Dissipation factor 1/(wCpRp)", wcr != 0.0 ? 1.0 / wcr : 0.0, "");
  Row(out, "Power factor 100/sqrt(1+(wCpRp)^2)",
      100.0 / std::sqrt(1.0 + wcr * wcr), "%");
  Row(out, "Watts at 10 kV W*(10/kV)^2",
      d.KVoltMeas != 0.0f ? d.Watts * std::pow(10.0 / d.KVoltMeas, 2) : 0.0,
      "W");
}

void PrintPoll(const SessionResult& r, std::FILE* out) {
  const Q7K_TEST_PARAMS& p = r.params;
  const Q7K_TEST_DATA& d = r.data;
  const char* state = p.Ranging           ? "ranging"
                      : p.VoltageSettling ? "settling"
                                          : "valid";
  std::fprintf(out,
               "poll %2d  %-8s %7.3f kV %10.5g mA %10.5g W %9.5g %% PF "
               "%7.2f Hz\n",
               r.polls, state, d.KVoltMeas, d.Amperes * 1000.0, d.Watts,
               d.PowerFactor, d.FrequencyMeas);
  std::fflush(out);
}

int ReportSession(Tool& tool, HRESULT hr, const SessionResult& result) {
  if (FAILED(hr)) {
    if (result.stopped && result.failedCall.empty()) {
      tool.FailWith("interrupted; no test is left running");
      return kExitInterrupted;
    }
    if (result.failedCall.empty()) {
      return tool.FailWith("no settled result after " +
                           std::to_string(result.polls) + " polls");
    }
    return tool.Fail(result.failedCall, result.errorCode, result.errorMessage);
  }
  const AppIdentity app = ReadAppIdentity(tool.Component());
  if (tool.json()) {
    tool.PrintJson({{"application", ToJson(app)},
                    {"polls", result.polls},
                    {"data", ToJson(result.data)},
                    {"thermal", ToJson(result.thermal)}});
    return kExitOk;
  }
  if (app.name.empty()) {
    std::printf("Instrument application: unknown (no Q7I.X0 here)\n");
  } else {
    std::printf("Instrument application: %s %s\n", app.name.c_str(),
                app.version.c_str());
  }
  PrintResultTable(result, stdout);
  return kExitOk;
}

}  // namespace q7k::tool
