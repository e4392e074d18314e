#include "simulator/simulated_instrument.h"

#include <cstring>

#include "eeprom/board_layout.h"
#include "eeprom/board_reads.h"
#include "firmware/app_image_file.h"
#include "simulator/simulated_start.h"
#include "simulator/simulated_values.h"

namespace q7k {
namespace {

// How long the instrument takes, in ms.
constexpr int32_t kThermalReadMs = 500;
constexpr int32_t kDirectoryReadMs = 100;
constexpr int32_t kHeaderReadMs = 500;
constexpr int32_t kBlockReadMs = 100;
constexpr int32_t kBlockWriteMs = 500;
constexpr int32_t kFloatBlockMs = 100;  // either way
constexpr int32_t kIdentityReadMs = 100;
constexpr int32_t kCalCheckMs = 100;

constexpr char kDescription[] = "Q7300 Instrument Measurement App";
constexpr int16_t kFlashEntry = 2;

// The register file answers a few fixed addresses; reading the reset
// address resets the one register it keeps.
constexpr int32_t kRegBoardId = 0x642010;
constexpr int32_t kRegFirmwareRev = 0x644020;
constexpr int32_t kRegOptions = 0x646070;
constexpr int32_t kRegReset = 0x600000;
constexpr int32_t kRegResetValue = 0x2000;

// The backplane's single-value answers: its field calibration revision and
// valid bits, and the instrument serial number; 0 elsewhere.
constexpr int16_t kBackplaneRevision = 1021;
constexpr int16_t kBackplaneValidLow = static_cast<int16_t>(0xFFFF);
constexpr int16_t kBackplaneValidHigh = 0x3FFF;
constexpr int32_t kBackplaneSerial = 129400373;

constexpr int32_t kInstrumentSerial = 1234567890;
constexpr char kXfmrSerial[] = "T-98765";
constexpr short kAssySubslot = 3;
constexpr int32_t kAssySerial = 343434;
constexpr short kCalDateWords[] = {8, 18, 97, 0};
constexpr char kCalDateText[] = "04/14/87";
constexpr char kBoardKey[] = "1357";
static_assert(sizeof kBoardKey == kBoardKeyChars + 1, "key length");

int16_t BackplaneWord(int16_t location) {
  const int16_t block = board::kFieldBlock;
  if (location == block) return kBackplaneRevision;  // the block's first
  if (location == block + board::kBlockValidBits) return kBackplaneValidLow;
  if (location == block + board::kBlockValidBits + 1) {
    return kBackplaneValidHigh;
  }
  return 0;
}

}  // namespace

HRESULT SimulatedInstrument::Spend(int32_t milliseconds) {
  wait_(milliseconds);
  return S_OK;
}

bool SimulatedInstrument::QueryRunningApp(AppInfo* out,
                                          ErrorReporter& errors) {
  const int32_t error = ReadAppFileHeader(kFirmwareName, out);
  if (error != kAppFileOk) errors.RecordAppFileError(error, true);
  std::memset(out->Description, 0, sizeof out->Description);
  std::memcpy(out->Description, kDescription, sizeof kDescription - 1);
  return true;
}

void SimulatedInstrument::StartTest(const Q7K_TEST_PARAMS& params,
                                    CalibrationCache& cal) {
  const SimulatorCalPool pool{cal.CalResistor, cal.GainCoeffs,
                              cal.PhaseCoeffs};
  SimulatedTestStart(state_, settings_, params, pool);
}

void SimulatedInstrument::UpdateRuntime(float frequency) {
  state_.simPollCount = 0;
  settings_.runtimeFrequency = frequency;
}

HRESULT SimulatedInstrument::TestResults(ResultsVariant variant,
                                         Q7K_TEST_PARAMS& params,
                                         Q7K_TEST_DATA& data,
                                         Q7K_THERMAL_DATA& thermal) {
  SimulatedTestResults(state_, settings_, variant, params, data, thermal);
  return S_OK;
}

HRESULT SimulatedInstrument::CalcWattsAdjustment(Q7K_TEST_PARAMS& params) {
  params.WattsAdjustment = kSimulatedWattsAdjustment;
  return S_OK;
}

HRESULT SimulatedInstrument::ReadThermalData(Q7K_THERMAL_DATA& thermal) {
  wait_(kThermalReadMs);
  SimulatedThermalData(settings_.fast, thermal);
  return S_OK;
}

HRESULT SimulatedInstrument::ReadCalInfo(CalibrationCache& cal) {
  StoreSimulatedCalInfo(cal.CalDone, cal.CalDate);
  return S_OK;
}

HRESULT SimulatedInstrument::ReadRefCalCoeffs(CalibrationCache& cal) {
  StoreSimulatedReferenceValues(cal.CalResistor, cal.CalPoleFreq);
  return S_OK;
}

HRESULT SimulatedInstrument::ReadCalDataRevision(short* pVal) {
  *pVal = settings_.boxType;
  return S_OK;
}

HRESULT SimulatedInstrument::RegWrite(int32_t value) {
  register_ = value;
  return S_OK;
}

HRESULT SimulatedInstrument::RegRead(int32_t address, int32_t* pVal) {
  switch (address) {
    case kRegBoardId:
      *pVal = 2;
      break;
    case kRegFirmwareRev:
      *pVal = 4485;
      break;
    case kRegOptions:
      *pVal = 252;
      break;
    case kRegReset:
      register_ = kRegResetValue;
      *pVal = kRegResetValue;
      break;
    default:
      *pVal = register_;
      break;
  }
  return S_OK;
}

bool SimulatedInstrument::FindFlashApp(int16_t* entry) {
  *entry = kFlashEntry;
  return true;
}

HRESULT SimulatedInstrument::ReadFlashDirectory() {
  return Spend(kDirectoryReadMs);
}

HRESULT SimulatedInstrument::ReadHeader(short* pVal) {
  wait_(kHeaderReadMs);
  *pVal = static_cast<short>(board::kHeaderSignature);
  return S_OK;
}

HRESULT SimulatedInstrument::ReadInt(short slot, short subslot, short location,
                                     short* pVal) {
  if (location < 0 || location > kLastEepromLocation) return E_INVALIDARG;
  *pVal = slot == 0 && subslot == 0 ? BackplaneWord(location) : 0;
  return S_OK;
}

HRESULT SimulatedInstrument::ReadLong(short slot, short subslot,
                                      short location, int32_t* pVal) {
  const bool serial =
      slot == 0 && subslot == 0 && location == board::kInstrumentSerial;
  *pVal = serial ? kBackplaneSerial : 0;
  return S_OK;
}

HRESULT SimulatedInstrument::Read32() {
  return Spend(kBlockReadMs);
}

HRESULT SimulatedInstrument::Write32() {
  return Spend(kBlockWriteMs);
}

HRESULT SimulatedInstrument::ReadFloat16() {
  return Spend(kFloatBlockMs);
}

HRESULT SimulatedInstrument::WriteFloat16() {
  return Spend(kFloatBlockMs);
}

HRESULT SimulatedInstrument::ReadQ7ISerialNumber(int32_t* pVal) {
  wait_(kIdentityReadMs);
  *pVal = kInstrumentSerial;
  return S_OK;
}

std::string SimulatedInstrument::ReadXfmrSerialNumber() {
  wait_(kIdentityReadMs);
  return kXfmrSerial;
}

bool SimulatedInstrument::ReadAssySerialNumber(short subslot, int32_t* pVal) {
  if (subslot != kAssySubslot) return false;
  *pVal = kAssySerial;
  return true;
}

HRESULT SimulatedInstrument::ReadCalDateInt(short* lpnDate) {
  std::memcpy(lpnDate, kCalDateWords, sizeof kCalDateWords);
  return Spend(kIdentityReadMs);
}

std::string SimulatedInstrument::ReadCalDate() {
  wait_(kIdentityReadMs);
  return kCalDateText;
}

void SimulatedInstrument::ReadBoardKey(char (&key)[kBoardKeyChars + 1]) {
  wait_(kIdentityReadMs);
  std::memcpy(key, kBoardKey, sizeof kBoardKey);
}

HRESULT SimulatedInstrument::CheckCalStatus(int type,
                                            CalibrationStatus& status) {
  wait_(kCalCheckMs);
  CalStatusRecord verdict;
  verdict.ReportedStatus = 1;
  verdict.ChecksumStatus = 1;
  verdict.CalStatus = 1;
  status.SetRecord(type, verdict);
  return S_OK;
}

}  // namespace q7k
