#include "records.h"

namespace q7k::tool {

AppIdentity ReadAppIdentity(IQ7kComm* comm) {
  AppIdentity app;
  const auto read = [comm](HRESULT (Q7K_STDCALL IQ7kComm::*get)(BSTR*),
                           std::string* to) {
    Bstr text;
    (comm->*get)(text.out());
    *to = text.utf8();
  };
  read(&IQ7kComm::get_AppName, &app.name);
  read(&IQ7kComm::get_AppDate, &app.date);
  read(&IQ7kComm::get_AppTime, &app.time);
  read(&IQ7kComm::get_AppVersion, &app.version);
  read(&IQ7kComm::get_AppDescription, &app.description);
  return app;
}

nlohmann::json ToJson(const AppIdentity& app) {
  return {{"name", app.name},
          {"date", app.date},
          {"time", app.time},
          {"version", app.version},
          {"description", app.description}};
}

std::vector<AppIdentity> FlashEntries(IQ7kComm* comm) {
  short count = 0;
  comm->get_FlashDirCount(&count);
  std::vector<AppIdentity> entries;
  for (short slot = 0; slot < count; ++slot) {
    comm->ReadFlashDirInfo(slot);
    entries.push_back(ReadAppIdentity(comm));
  }
  return entries;
}

nlohmann::json ToJson(const std::vector<AppIdentity>& entries) {
  nlohmann::json list = nlohmann::json::array();
  for (size_t i = 0; i < entries.size(); ++i) {
    nlohmann::json entry = ToJson(entries[i]);
    entry["entry"] = i + 1;
    list.push_back(entry);
  }
  return list;
}

void PrintFlashTable(const std::vector<AppIdentity>& entries, std::FILE* out) {
  if (entries.empty()) {
    std::fprintf(out, "  (no applications in flash)\n");
    return;
  }
  std::fprintf(out, "  %-5s %-8s %-8s %-8s %-8s %s\n", "entry", "name", "date",
               "time", "version", "description");
  for (size_t i = 0; i < entries.size(); ++i) {
    const AppIdentity& a = entries[i];
    std::fprintf(out, "  %-5zu %-8s %-8s %-8s %-8s %s\n", i + 1, a.name.c_str(),
                 a.date.c_str(), a.time.c_str(), a.version.c_str(),
                 a.description.c_str());
  }
}

#define Q7K_FIELD(record, field) \
  { #field, record.field }

nlohmann::json ToJson(const Q7K_TEST_DATA& d) {
  return {Q7K_FIELD(d, KVoltMeas),
          Q7K_FIELD(d, KVoltCalc),
          Q7K_FIELD(d, Amperes),
          Q7K_FIELD(d, Watts),
          Q7K_FIELD(d, PowerFactor),
          Q7K_FIELD(d, TangentDelta),
          Q7K_FIELD(d, SineThetaX100),
          Q7K_FIELD(d, VectorDotProduct),
          Q7K_FIELD(d, VectorCrossProduct),
          Q7K_FIELD(d, RefVoltageMag),
          Q7K_FIELD(d, SpecCurrentMag),
          Q7K_FIELD(d, SeriesCap),
          Q7K_FIELD(d, ParallelCap),
          Q7K_FIELD(d, SeriesInd),
          Q7K_FIELD(d, ParallelInd),
          Q7K_FIELD(d, SeriesRes),
          Q7K_FIELD(d, ParallelRes),
          Q7K_FIELD(d, FrequencyMeas),
          Q7K_FIELD(d, SpecimenPeak),
          Q7K_FIELD(d, ReferencePeak),
          Q7K_FIELD(d, SpecimenPeakMin),
          Q7K_FIELD(d, SpecimenPeakMax),
          Q7K_FIELD(d, InputCurrent),
          Q7K_FIELD(d, XfmrCurrent),
          Q7K_FIELD(d, VoltageScale),
          Q7K_FIELD(d, CurrentRange),
          Q7K_FIELD(d, FilterType),
          Q7K_FIELD(d, SamplesAveraged)};
}

nlohmann::json ToJson(const Q7K_THERMAL_DATA& t) {
  return {Q7K_FIELD(t, ExtTemperature),    Q7K_FIELD(t, ExtHumidity),
          Q7K_FIELD(t, EstXfmrTemp),       Q7K_FIELD(t, CardCageTemp),
          Q7K_FIELD(t, XfmrCurrent),       Q7K_FIELD(t, AmpInputCurrent),
          Q7K_FIELD(t, AmplifierTemp),     Q7K_FIELD(t, MainRefTemp),
          Q7K_FIELD(t, CalRefTemp),        Q7K_FIELD(t, OvertempVal),
          Q7K_FIELD(t, CooldownTemp),      Q7K_FIELD(t, HeatingStatus),
          Q7K_FIELD(t, XfmrOverheatTime),  Q7K_FIELD(t, XfmrCooldownTime),
          Q7K_FIELD(t, ExtSensorInserted), Q7K_FIELD(t, IntCurrentCounter)};
}

#undef Q7K_FIELD

void PrintThermalTable(const Q7K_THERMAL_DATA& t, std::FILE* out) {
  const auto row = [out](const char* name, double value, const char* unit) {
    std::fprintf(out, "  %-28s %10.4g %s\n", name, value, unit);
  };
  row("External temperature", t.ExtTemperature, "C");
  row("External humidity", t.ExtHumidity, "%");
  row("Transformer (estimated)", t.EstXfmrTemp, "C");
  row("Card cage", t.CardCageTemp, "C");
  row("Amplifier", t.AmplifierTemp, "C");
  row("Main reference", t.MainRefTemp, "C");
  row("Cal reference", t.CalRefTemp, "C");
  row("Over-temperature limit", t.OvertempVal, "C");
  row("Cool-down temperature", t.CooldownTemp, "C");
  row("Transformer current", t.XfmrCurrent, "");
  row("Amplifier input current", t.AmpInputCurrent, "A");
  row("Heating status", t.HeatingStatus, "");
  row("Overheat time", t.XfmrOverheatTime, "s");
  row("Cool-down time", t.XfmrCooldownTime, "s");
  row("External sensor inserted", t.ExtSensorInserted, "");
}

}  // namespace q7k::tool
