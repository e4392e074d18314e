#include "command_fields.h"

#include <cstdio>

#include "component/insulation_test_records.h"
#include "component/service_records.h"
#include "eeprom/board_reads.h"
#include "eeprom/calibration_cache.h"
#include "firmware/app_info.h"
#include "link/command_codes.h"
#include "link/le_bytes.h"

namespace q7k::decoder {
namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string Hex32(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

// Appends fields read in order from a payload. A layout longer than the
// payload shows nothing of it but its hex: half a record would mislead.
class FieldReader {
 public:
  FieldReader(const uint8_t* p, size_t n, Fields* out)
      : p_(p), n_(n), reader_(p, n), out_(out) {}

  // True when the payload holds at least bytes; otherwise writes its hex.
  bool Needs(size_t bytes) {
    if (n_ >= bytes) return true;
    Raw();
    return false;
  }
  void Raw() { out_->emplace_back("data", Hex(p_, n_)); }

  FieldReader& I16(const char* name) {
    return Add(name, std::to_string(reader_.I16()));
  }
  FieldReader& U16(const char* name) {
    return Add(name, std::to_string(reader_.U16()));
  }
  FieldReader& I32(const char* name) {
    return Add(name, std::to_string(reader_.I32()));
  }
  FieldReader& X32(const char* name) { return Add(name, Hex32(reader_.U32())); }
  FieldReader& F32(const char* name) {
    return Add(name, Number(reader_.F32()));
  }
  FieldReader& Text(const char* name, size_t width) {
    std::string s = reader_.Text(width);
    s.resize(s.find('\0') == std::string::npos ? s.size() : s.find('\0'));
    return Add(name, s);
  }
  // count words or floats as one space-separated field.
  FieldReader& Words(const char* name, size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) {
      s += (i ? " " : "") + std::to_string(reader_.I16());
    }
    return Add(name, s);
  }
  FieldReader& Floats(const char* name, size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) {
      s += (i ? " " : "") + Number(reader_.F32());
    }
    return Add(name, s);
  }
  FieldReader& Add(const std::string& name, const std::string& value) {
    out_->emplace_back(name, value);
    return *this;
  }

 private:
  const uint8_t* p_;
  size_t n_;
  ByteReader reader_;
  Fields* out_;
};

void BoardAddressFields(FieldReader& r) {
  r.I16("slot").I16("subslot").I16("location");
}

void AppFields(const AppInfo& app, bool description, const std::string& prefix,
               Fields* out) {
  out->emplace_back(prefix + "name", SlotText(app.Name, sizeof app.Name));
  out->emplace_back(prefix + "date", SlotText(app.Date, sizeof app.Date));
  out->emplace_back(prefix + "time", SlotText(app.Time, sizeof app.Time));
  out->emplace_back(prefix + "version",
                    SlotText(app.Version, sizeof app.Version));
  if (description) {
    out->emplace_back(prefix + "description",
                      SlotText(app.Description, sizeof app.Description));
  }
}

void ThermalFields(const Q7K_THERMAL_DATA& t, Fields* out) {
  const std::pair<const char*, float> values[] = {
      {"ExtTemperature", t.ExtTemperature},
      {"ExtHumidity", t.ExtHumidity},
      {"EstXfmrTemp", t.EstXfmrTemp},
      {"CardCageTemp", t.CardCageTemp},
      {"XfmrCurrent", t.XfmrCurrent},
      {"AmpInputCurrent", t.AmpInputCurrent},
      {"AmplifierTemp", t.AmplifierTemp},
      {"MainRefTemp", t.MainRefTemp},
      {"CalRefTemp", t.CalRefTemp},
      {"OvertempVal", t.OvertempVal},
      {"CooldownTemp", t.CooldownTemp}};
  for (const auto& v : values) out->emplace_back(v.first, Number(v.second));
  out->emplace_back("HeatingStatus", std::to_string(t.HeatingStatus));
  out->emplace_back("XfmrOverheatTime", std::to_string(t.XfmrOverheatTime));
  out->emplace_back("XfmrCooldownTime", std::to_string(t.XfmrCooldownTime));
  out->emplace_back("ExtSensorInserted", std::to_string(t.ExtSensorInserted));
  out->emplace_back("IntCurrentCounter", std::to_string(t.IntCurrentCounter));
}

void TestResultFields(const uint8_t* p, size_t n, Fields* out) {
  Q7K_TEST_PARAMS params{};
  Q7K_TEST_DATA d{};
  Q7K_THERMAL_DATA thermal{};
  if (!DecodeTestResults(p, n, &params, &d, &thermal)) {
    out->emplace_back("data", Hex(p, n));
    return;
  }
  out->emplace_back("Ranging", std::to_string(params.Ranging));
  out->emplace_back("VoltageSettling", std::to_string(params.VoltageSettling));
  out->emplace_back("NormRevStatus", std::to_string(params.NormRevStatus));
  out->emplace_back("VoltageScale", std::to_string(d.VoltageScale));
  out->emplace_back("CurrentRange", std::to_string(d.CurrentRange));
  out->emplace_back("FilterType", std::to_string(d.FilterType));
  out->emplace_back("KVoltMeas", Number(d.KVoltMeas));
  const std::pair<const char*, float> values[] = {
      {"KVoltCalc", d.KVoltCalc},
      {"Amperes", d.Amperes},
      {"Watts", d.Watts},
      {"PowerFactor", d.PowerFactor},
      {"TangentDelta", d.TangentDelta},
      {"SineThetaX100", d.SineThetaX100},
      {"VectorDotProduct", d.VectorDotProduct},
      {"VectorCrossProduct", d.VectorCrossProduct},
      {"RefVoltageMag", d.RefVoltageMag},
      {"SpecCurrentMag", d.SpecCurrentMag},
      {"SeriesCap", d.SeriesCap},
      {"ParallelCap", d.ParallelCap},
      {"SeriesInd", d.SeriesInd},
      {"ParallelInd", d.ParallelInd},
      {"SeriesRes", d.SeriesRes},
      {"ParallelRes", d.ParallelRes},
      {"SpecimenPeak", d.SpecimenPeak},
      {"FrequencyMeas", d.FrequencyMeas},
      {"ReferencePeak", d.ReferencePeak}};
  // While ranging the component keeps its previous values of the first 17:
  // the reply has none to show.
  for (size_t i = params.Ranging != 0 ? 17 : 0; i < std::size(values); ++i) {
    out->emplace_back(values[i].first, Number(values[i].second));
  }
  out->emplace_back("SamplesAveraged", std::to_string(d.SamplesAveraged));
  if (n > kResultReplyBytes) {
    out->emplace_back("SpecimenPeakMin", Number(d.SpecimenPeakMin));
    out->emplace_back("SpecimenPeakMax", Number(d.SpecimenPeakMax));
  }
  ThermalFields(thermal, out);
}

void FlashPageFields(const uint8_t* p, size_t n, Fields* out) {
  FieldReader r(p, n, out);
  if (!r.Needs(4)) return;
  const int16_t count = LoadI16(p);
  r.I16("entries").I16("more");
  for (int16_t k = 0; k < count && 4 + kAppInfoWire * (k + 1) <= n; ++k) {
    AppInfo app;
    UnpackAppInfo(p + 4 + kAppInfoWire * k, true, &app);
    AppFields(app, true, "entry" + std::to_string(k + 1) + ".", out);
  }
}

}  // namespace

std::string CommandName(uint16_t command) {
  static const char* const kOneByte[] = {nullptr,
                                         "ReadAppInfo",
                                         "StartPONSequence",
                                         "InitTestParams",
                                         "UpdateRuntimeParams",
                                         "StartQ7kTest",
                                         "RequestTestResults",
                                         "StopQ7kTest",
                                         "RestartLoader",
                                         nullptr,
                                         "SendAppParams",
                                         "DownloadApp",
                                         "DownloadComplete",
                                         "AbortDownload",
                                         "SearchForApp",
                                         "ReadFlashDirectory",
                                         "ExecuteApp",
                                         "DeleteApp",
                                         "ReadThermalData",
                                         "ReadCalInfo",
                                         "SetXfmrBoundaryTemps",
                                         "ReadRefCalCoeffs",
                                         "RequestExtendedResults"};
  static const char* const kTwoByte[] = {"RegWrite",
                                         "RegRead",
                                         "RegOr",
                                         "RegAnd",
                                         "WriteInt",
                                         "Write32",
                                         "ReadInt",
                                         "Read32",
                                         "WriteLong",
                                         "WriteFloat16",
                                         "ReadLong",
                                         "ReadFloat16",
                                         "CalculateChecksum",
                                         "EnableSoftwareVerify",
                                         "SendTestWaveform",
                                         "EnableGuardCal",
                                         "EnableRefCal",
                                         "EnableSysCal",
                                         "UpdateRefCal",
                                         "UpdateGuardCal",
                                         "UpdateSysCal",
                                         nullptr,
                                         "RequestRawResults",
                                         "EnableSafetyMonitor",
                                         "RunChipSelectTest",
                                         "ContinuousWriteReg",
                                         "ContinuousReadReg"};
  const unsigned low = command & 0xFF;
  const char* name = nullptr;
  if ((command >> 8) == 0 && low < std::size(kOneByte)) name = kOneByte[low];
  if ((command >> 8) == 0x7E && low < std::size(kTwoByte)) {
    name = kTwoByte[low];
  }
  if (name != nullptr) return name;
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", command);
  return text;
}

std::string Hex(const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(3 * n);
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) s += ' ';
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 15];
  }
  return s;
}

void DescribeRequest(uint16_t command, const uint8_t* p, size_t n,
                     Fields* out) {
  FieldReader r(p, n, out);
  switch (command) {
    case cmd::kInitParams:
      if (r.Needs(32)) {
        r.I16("LineType")
            .I16("VoltageSource")
            .I16("BeeperEnable")
            .I16("StrobeEnforce")
            .I16("SafetySwitchEnforce")
            .I16("LVInsertEnforce")
            .U16("MaxVolts")
            .U16("XfmrMaxTempTime")
            .F32("XfmrTemp")
            .F32("ExtRefCapacitance")
            .F32("ExtRefResistance")
            .F32("ExtRefPwrFactor");
      }
      return;
    case cmd::kRuntimeParams:
      if (r.Needs(22)) {
        r.I16("ModeLatch1")
            .I16("ModeLatch2")
            .I16("ReferenceType")
            .I16("AcDcTest")
            .I16("EnableVoltCorrect")
            .I16("TestPhase")
            .U16("TestVoltage")
            .U16("VoltageScale")
            .I16("CurrentRange")
            .F32("Frequency");
      }
      return;
    case cmd::kResults:
    case cmd::kExtendedResults:
      if (r.Needs(4)) r.I16("FilterType").U16("SamplesToAvg");
      return;
    case cmd::kAppParams:
      if (r.Needs(20)) r.Text("Name", 8).Text("Version", 8).I32("ImageLength");
      return;
    case cmd::kDownloadBlock:
      if (r.Needs(6)) {
        r.X32("address").U16("bytes");
        out->emplace_back("data", Hex(p + 6, n - 6));
      }
      return;
    case cmd::kSearchApp:
      if (r.Needs(32)) {
        AppInfo app;
        UnpackAppInfo(p, false, &app);
        AppFields(app, false, "", out);
      }
      return;
    case cmd::kFlashDirectory:
      if (r.Needs(2)) r.I16("first");
      return;
    case cmd::kExecuteApp:
    case cmd::kDeleteApp:
      if (r.Needs(2)) r.I16("entry");
      return;
    case cmd::kBoundaryTemps:
      if (r.Needs(8)) r.F32("OverTemp").F32("CooldownTemp");
      return;
    case cmd::kRegWrite:
    case cmd::kRegOr:
    case cmd::kRegAnd:
    case cmd::kContinuousWrite:
      if (r.Needs(8)) r.X32("address").X32("value");
      return;
    case cmd::kRegRead:
    case cmd::kContinuousRead:
      if (r.Needs(4)) r.X32("address");
      return;
    case cmd::kReadInt:
    case cmd::kRead32:
    case cmd::kReadLong:
    case cmd::kReadFloat16:
      if (r.Needs(6)) BoardAddressFields(r);
      return;
    case cmd::kWriteInt:
      if (r.Needs(8)) {
        BoardAddressFields(r);
        r.I16("value");
      }
      return;
    case cmd::kWriteLong:
      if (r.Needs(10)) {
        BoardAddressFields(r);
        r.I32("value").Add("float", Number(LoadF32(p + 6)));
      }
      return;
    case cmd::kWrite32:
      if (r.Needs(70)) {
        BoardAddressFields(r);
        r.Words("words", 32);
      }
      return;
    case cmd::kWriteFloat16:
      if (r.Needs(70)) {
        BoardAddressFields(r);
        r.Floats("floats", 16);
      }
      return;
    case cmd::kChecksum:
      if (r.Needs(4)) r.I16("slot").I16("subslot");
      return;
    case cmd::kSoftwareVerify:
    case cmd::kGuardCal:
    case cmd::kSafetyMonitor:
      if (r.Needs(2)) r.I16("enable");
      return;
    case cmd::kRefCal:
    case cmd::kSysCal:
      if (r.Needs(4)) r.I16("calType").I16("enable");
      return;
    case cmd::kRawResults:
      if (r.Needs(2)) r.I16("FilterType");
      return;
    case cmd::kTestWaveform:
      if (r.Needs(14)) {
        // The next waveform goes last, behind the amplitude.
        r.I16("type")
            .I16("index")
            .I16("phase")
            .I16("samples")
            .F32("amplitude")
            .I16("next");
      }
      return;
    default:
      if (n > 0) r.Raw();
      return;
  }
}

void DescribeReply(uint16_t command, const uint8_t* p, size_t n, Fields* out) {
  FieldReader r(p, n, out);
  switch (command) {
    case cmd::kAppInfo:
      if (r.Needs(kAppInfoWire)) {
        AppInfo app;
        UnpackAppInfo(p, true, &app);
        AppFields(app, true, "", out);
      }
      return;
    case cmd::kSearchApp:
      if (r.Needs(2)) r.I16("entry");
      return;
    case cmd::kFlashDirectory:
      FlashPageFields(p, n, out);
      return;
    case cmd::kResults:
    case cmd::kExtendedResults:
      TestResultFields(p, n, out);
      return;
    case cmd::kThermal:
      if (r.Needs(kThermalBlockBytes)) {
        Q7K_THERMAL_DATA thermal{};
        DecodeThermalBlock(p, &thermal);
        ThermalFields(thermal, out);
      }
      return;
    case cmd::kCalInfo: {
      CalibrationCache cal;
      if (!DecodeCalInfo(p, n, &cal)) return r.Raw();
      static const char* const kBlocks[] = {
          "guard", "mainRef", "fieldRef", "bpFactory", "bpField", "modeSwitch"};
      for (int b = 0; b < kCalBlocks; ++b) {
        if (b == MODESWITCH_CAL) continue;  // not in this reply
        out->emplace_back(std::string(kBlocks[b]) + ".done",
                          std::to_string(cal.CalDone[b]));
        out->emplace_back(std::string(kBlocks[b]) + ".date",
                          SlotText(cal.CalDate[b], kCalDateSlot));
      }
      return;
    }
    case cmd::kRefCalCoeffs: {
      CalibrationCache cal;
      if (!DecodeRefCalCoeffs(p, n, &cal)) return r.Raw();
      const std::pair<const char*, REFCAL_INDEX> channels[] = {
          {"main", MAIN_RES}, {"red", RED_RES}, {"blue", BLUE_RES}};
      for (const auto& c : channels) {
        out->emplace_back(std::string(c.first) + ".resistor",
                          Number(cal.CalResistor[c.second]));
        out->emplace_back(std::string(c.first) + ".poleFreq",
                          Number(cal.CalPoleFreq[c.second]));
      }
      return;
    }
    case cmd::kRawResults: {
      Q7K_RAW_DATA raw{};
      if (!DecodeRawResults(p, n, &raw)) return r.Raw();
      r.Add("Ranging", std::to_string(raw.Ranging))
          .Add("NumGroups", std::to_string(raw.NumGroups))
          .Add("NumSpecGroups", std::to_string(raw.NumSpecGroups))
          .Add("NumVoltGroups", std::to_string(raw.NumVoltGroups))
          .Add("ResultsType", std::to_string(raw.ResultsType))
          .Add("SpecimenPeak", Number(raw.SpecimenPeak))
          .Add("ReferencePeak", Number(raw.ReferencePeak))
          .Add("SpecVectorX", Number(raw.SpecVectorX))
          .Add("SpecVectorY", Number(raw.SpecVectorY))
          .Add("RefVectorX", Number(raw.RefVectorX))
          .Add("RefVectorY", Number(raw.RefVectorY));
      return;
    }
    case cmd::kRegRead:
      if (r.Needs(4)) r.X32("value");
      return;
    case cmd::kReadInt:
    case cmd::kChecksum:
      if (r.Needs(2)) r.I16("value");
      return;
    case cmd::kReadLong:
      if (r.Needs(4)) r.I32("value").Add("float", Number(LoadF32(p)));
      return;
    case cmd::kRead32:
      if (r.Needs(2 * kBlockWords)) r.Words("words", kBlockWords);
      return;
    case cmd::kReadFloat16:
      if (r.Needs(4 * kBlockFloats)) r.Floats("floats", kBlockFloats);
      return;
    default:
      if (n > 0) r.Raw();
      return;
  }
}

}  // namespace q7k::decoder
