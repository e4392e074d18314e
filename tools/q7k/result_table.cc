#include "result_table.h"

#include <cmath>

namespace q7k::tool {
namespace {

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
      2.0 * M_PI * d.FrequencyMeas * double(d.ParallelCap) * d.ParallelRes;
  Row(out, "Dissipation factor 1/(wCpRp)", wcr != 0.0 ? 1.0 / wcr : 0.0, "");
  Row(out, "Power factor 100/sqrt(1+(wCpRp)^2)",
      100.0 / std::sqrt(1.0 + wcr * wcr), "%");
  Row(out, "Watts at 10 kV W*(10/kV)^2",
      d.KVoltMeas != 0.0f ? d.Watts * std::pow(10.0 / d.KVoltMeas, 2) : 0.0,
      "W");
}

}  // namespace q7k::tool
