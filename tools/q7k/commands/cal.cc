// cal: the calibration survey and the calibration coefficient pool.
#include <memory>
#include <string>
#include <vector>

#include "tool.h"

namespace q7k::tool {
namespace {

struct CalType {
  CAL_INDEX index;
  const char* name;
};

// The backplane blocks compare their recorded serial numbers with what the
// other checks stored (the field block also with the factory block's), so
// they come last and in this order.
constexpr CalType kSurveyOrder[] = {{GUARD_CAL, "guard"},
                                    {MAIN_REF_CAL, "main-reference"},
                                    {FIELD_REF_CAL, "field-reference"},
                                    {MODESWITCH_CAL, "mode-switch"},
                                    {BP_FACTORY_CAL, "backplane-factory"},
                                    {BP_FIELD_CAL, "backplane-field"}};

struct CoeffOptions {
  std::string block = "field";
  int refType = 1;
};

nlohmann::json ReadRecord(IQ7kCalStatus* s, short i) {
  const auto get = [s,
                    i](HRESULT (Q7K_STDCALL IQ7kCalStatus::*p)(short, short*)) {
    short v = 0;
    (s->*p)(i, &v);
    return v;
  };
  int32_t serial = 0;
  s->get_CalSerialNumber(i, &serial);
  Bstr date;
  s->get_CalDate(i, date.out());
  return {{"valid", get(&IQ7kCalStatus::get_CalStatus) != 0},
          {"checksum_ok", get(&IQ7kCalStatus::get_ChecksumStatus) != 0},
          {"factors", get(&IQ7kCalStatus::get_CalNumFactors)},
          {"valid_factors", get(&IQ7kCalStatus::get_CalValidFactors)},
          {"serial", serial},
          {"serial_mismatch", get(&IQ7kCalStatus::get_CalSerialNumError) != 0},
          {"done", get(&IQ7kCalStatus::get_CalDone)},
          {"done_disagrees", get(&IQ7kCalStatus::get_CalStatusError) != 0},
          {"date", date.utf8()}};
}

void PrintSurveyRow(const nlohmann::json& r) {
  const char* name = r["calibration"].get_ref<const std::string&>().c_str();
  if (r.contains("error")) {
    std::printf("  %-18s %-7s %s\n", name, "ERROR",
                r["error"]["message"].get<std::string>().c_str());
    return;
  }
  std::string note;
  if (!r["checksum_ok"]) note += " checksum-bad";
  if (r["serial_mismatch"]) note += " serial-mismatch";
  if (r["done_disagrees"]) note += " done-flag-disagrees";
  char line[160];
  std::snprintf(line, sizeof line, "  %-18s %-7s %4d/%-4d %10d  %-4d %-8s%s",
                name, r["valid"] ? "valid" : "INVALID",
                r["valid_factors"].get<int>(), r["factors"].get<int>(),
                r["serial"].get<int>(), r["done"].get<int>(),
                r["date"].get<std::string>().c_str(), note.c_str());
  std::string text = line;
  text.erase(text.find_last_not_of(' ') + 1);
  std::printf("%s\n", text.c_str());
}

int Survey(Tool& tool) {
  IQ7kCalStatus* status = tool.CalStatus();
  if (status == nullptr || !tool.OpenPort()) return kExitFailed;
  IQ7kComm* comm = tool.Component();
  // The instrument's own "calibration done" flags are what each check is
  // compared with.
  if (FAILED(comm->ReadCalInfo())) return tool.Fail("ReadCalInfo");
  nlohmann::json rows = nlohmann::json::array();
  bool failed = false;
  for (const CalType& t : kSurveyOrder) {
    short done = 0;
    status->get_CalDone(t.index, &done);
    nlohmann::json row;
    if (FAILED(status->CheckCalStatus(t.index, done))) {
      failed = true;
      short code = 0;
      Bstr message;
      comm->get_ErrorCode(&code);
      comm->get_ErrorMsg(message.out());
      std::fprintf(stderr, "q7k: CheckCalStatus %s failed: error %d: %s\n",
                   t.name, code, message.utf8().c_str());
      // Each failure is reported on its own, not appended to the last.
      comm->ClearError();
      row = {{"error", {{"code", code}, {"message", message.utf8()}}}};
    } else {
      row = ReadRecord(status, t.index);
    }
    row["calibration"] = t.name;
    rows.push_back(row);
  }
  comm->ClosePort();
  if (tool.json()) {
    tool.PrintJson({{"calibrations", rows}});
  } else {
    std::printf("  %-18s %-7s %9s %10s  %-4s %-8s %s\n", "calibration",
                "status", "factors", "serial", "done", "date", "notes");
    for (const nlohmann::json& r : rows) PrintSurveyRow(r);
  }
  return failed ? kExitFailed : kExitOk;
}

int Coefficients(Tool& tool, const CoeffOptions& o) {
  IQ7kEeprom* eeprom = tool.Eeprom();
  if (eeprom == nullptr || !tool.OpenPort()) return kExitFailed;
  IQ7kComm* comm = tool.Component();
  if (FAILED(eeprom->ReadSysCoeffs(o.block == "factory" ? 1 : 0))) {
    return tool.Fail("ReadSysCoeffs");
  }
  if (FAILED(eeprom->ReadCalCoeffs(static_cast<short>(o.refType)))) {
    return tool.Fail("ReadCalCoeffs");
  }
  short dataRevision = 0;
  if (FAILED(eeprom->ReadCalDataRevision(&dataRevision))) {
    return tool.Fail("ReadCalDataRevision");
  }
  comm->ClosePort();
  short revision = 0;
  comm->get_CalRevision(&revision);
  std::vector<float> gains(10), phases(10);
  for (short k = 0; k < 10; ++k) {
    comm->get_GainCoeffs(k, &gains[k]);
    comm->get_PhaseCoeffs(k, &phases[k]);
  }
  // The reference board's locations 68-71 mean different channels for the
  // two calibration types; show only what this type loaded.
  const std::vector<std::pair<REFCAL_INDEX, const char*>> refs =
      o.refType == 0
          ? std::vector<std::pair<REFCAL_INDEX, const char*>>{{RED_RES, "red"},
                                                              {BLUE_RES,
                                                               "blue"}}
          : std::vector<std::pair<REFCAL_INDEX, const char*>>{
                {RED_RES, "red"}, {MRED_RES, "mred"}, {NBLUE_RES, "nblue"}};
  nlohmann::json references = nlohmann::json::object();
  for (const auto& [index, name] : refs) {
    float resistor = 0, pole = 0;
    comm->get_CalResistor(index, &resistor);
    comm->get_CalPoleFreq(index, &pole);
    references[name] = {{"resistor", resistor}, {"pole_frequency", pole}};
  }
  if (tool.json()) {
    tool.PrintJson({{"block", o.block},
                    {"revision", revision},
                    {"data_revision", dataRevision},
                    {"gains", gains},
                    {"phases", phases},
                    {"references", references}});
    return kExitOk;
  }
  std::printf("Backplane %s block, revision %d; data revision %d\n",
              o.block.c_str(), revision, dataRevision);
  std::printf("  %-3s %12s %12s\n", "k", "gain", "phase");
  for (int k = 0; k < 10; ++k) {
    std::printf("  %-3d %12.6g %12.6g\n", k, gains[k], phases[k]);
  }
  std::printf("Reference channels (slot 0, subslot 3)\n");
  for (const auto& [index, name] : refs) {
    const nlohmann::json& r = references[name];
    std::printf("  %-6s resistor %14.6g ohm   pole %12.6g Hz\n", name,
                r["resistor"].get<double>(), r["pole_frequency"].get<double>());
  }
  return kExitOk;
}

}  // namespace

Q7K_COMMAND(cal, 55) {
  auto* cal = parent->add_subcommand(
      "cal", "Survey the calibrations and read the calibration coefficients");
  cal->require_subcommand(1);
  auto* status = cal->add_subcommand(
      "status",
      "Check all six calibrations (the backplane blocks last, as they "
      "compare serial numbers with the other boards): validity, checksum, "
      "factors, serial numbers, the instrument's done flags and dates");
  auto coeffs = std::make_shared<CoeffOptions>();
  auto* pool = cal->add_subcommand(
      "coeffs",
      "Read the calibration coefficients: the gains and phases of a "
      "backplane block, the reference channels and the data revision");
  pool->add_option("--block", coeffs->block,
                   "Backplane calibration block: factory or field")
      ->check(CLI::IsMember({"factory", "field"}))
      ->capture_default_str();
  pool->add_option("--ref-type", coeffs->refType,
                   "Reference calibration type: 0 reads the red and blue "
                   "channels, 1 the red, mred and nblue channels")
      ->check(CLI::Range(0, 1))
      ->capture_default_str();
  return {Runner(status, Survey), Runner(pool, [coeffs](Tool& tool) {
            return Coefficients(tool, *coeffs);
          })};
}

}  // namespace q7k::tool
