// The service and calibration commands of IQ7kComm.
#include <cstring>

#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "component/test_records.h"
#include "link/command_codes.h"
#include "link/le_bytes.h"
#include "simulator/simulated_values.h"

namespace q7k {
namespace {

constexpr size_t kCalInfoBytes = 50;
constexpr size_t kRefCoeffBytes = 24;
constexpr size_t kRawResultBytes = 34;
constexpr int32_t kSimulatedThermalDelayMs = 500;

// The simulated register file answers a few fixed addresses.
constexpr int32_t kRegBoardId = 0x642010;
constexpr int32_t kRegFirmwareRev = 0x644020;
constexpr int32_t kRegOptions = 0x646070;
constexpr int32_t kRegReset = 0x600000;
constexpr int32_t kRegResetValue = 0x2000;

// Calibration blocks in the order of the calibration-info reply.
constexpr CAL_INDEX kCalInfoOrder[] = {BP_FIELD_CAL, BP_FACTORY_CAL, GUARD_CAL,
                                       MAIN_REF_CAL, FIELD_REF_CAL};

PayloadWriter Words(std::initializer_list<int32_t> words) {
  PayloadWriter w;
  for (int32_t v : words) w.U16(static_cast<uint32_t>(v) & 0xFFFF);
  return w;
}

PayloadWriter Longs(std::initializer_list<int32_t> longs) {
  PayloadWriter w;
  for (int32_t v : longs) w.U32(static_cast<uint32_t>(v));
  return w;
}

// Both calibration updates send their tables last element first.
void ReversedTable(PayloadWriter& w, const float* table) {
  for (int i = kCoefficients - 1; i >= 0; --i) w.F32(table[i]);
}

}  // namespace

HRESULT Q7kCommObject::ReadThermalData(Q7K_THERMAL_DATA* thermalData) {
  if (thermalData == nullptr) return E_POINTER;
  if (simulating()) {
    TimerDelay(kSimulatedThermalDelayMs, 0);  // no wait without a port
    SimulatedThermalData(simulFast_, *thermalData);
    return S_OK;
  }
  return Command(cmd::kThermal, nullptr, 0, kThermalBlockBytes,
                 [thermalData](const uint8_t* p, size_t) {
                   DecodeThermalBlock(p, thermalData);
                   return true;
                 });
}

HRESULT Q7kCommObject::ReadCalInfo() {
  if (simulating()) {
    StoreSimulatedCalInfo(cal_.CalDone, cal_.CalDate);
    return S_OK;
  }
  return Command(cmd::kCalInfo, nullptr, 0, kCalInfoBytes,
                 [this](const uint8_t* p, size_t) {
                   std::memset(cal_.CalDone, 0, sizeof cal_.CalDone);
                   std::memset(cal_.CalDate, 0, sizeof cal_.CalDate);
                   for (size_t g = 0; g < 5; ++g) {
                     const CAL_INDEX block = kCalInfoOrder[g];
                     const uint8_t* group = p + 10 * g;
                     cal_.CalDone[block] = LoadI16(group);
                     for (size_t i = 0; i < 8 && group[2 + i] != 0; ++i) {
                       cal_.CalDate[block][i] = static_cast<char>(group[2 + i]);
                     }
                   }
                   return true;
                 });
}

HRESULT Q7kCommObject::SetXfmrBoundaryTemps(float fOverTemp,
                                            float fCooldownTemp) {
  PayloadWriter w;
  w.F32(fOverTemp).F32(fCooldownTemp);
  return Command(cmd::kBoundaryTemps, w.data(), w.size());
}

HRESULT Q7kCommObject::ReadRefCalCoeffs() {
  if (simulating()) {
    StoreSimulatedReferenceValues(cal_.CalResistor, cal_.CalPoleFreq);
    return S_OK;
  }
  return Command(cmd::kRefCalCoeffs, nullptr, 0, kRefCoeffBytes,
                 [this](const uint8_t* p, size_t) {
                   for (REFCAL_INDEX i : {MAIN_RES, RED_RES, BLUE_RES}) {
                     cal_.CalResistor[i] = LoadF32(p);
                     cal_.CalPoleFreq[i] = LoadF32(p + 4);
                     p += 8;
                   }
                   return true;
                 });
}

HRESULT Q7kCommObject::RegWrite(int32_t lAddress, int32_t lVal) {
  if (simulating()) {
    simRegister_ = lVal;
    return S_OK;
  }
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kRegWrite, w.data(), w.size());
}

HRESULT Q7kCommObject::RegRead(int32_t lAddress, int32_t* pVal) {
  if (pVal == nullptr) return E_POINTER;
  if (simulating()) {
    switch (lAddress) {
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
        simRegister_ = kRegResetValue;
        *pVal = kRegResetValue;
        break;
      default:
        *pVal = simRegister_;
        break;
    }
    return S_OK;
  }
  const auto w = Longs({lAddress});
  return Command(cmd::kRegRead, w.data(), w.size(), 4,
                 [pVal](const uint8_t* p, size_t) {
                   *pVal = LoadI32(p);
                   return true;
                 });
}

HRESULT Q7kCommObject::RegOr(int32_t lAddress, int32_t lVal) {
  if (simulating()) return S_OK;
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kRegOr, w.data(), w.size());
}

HRESULT Q7kCommObject::RegAnd(int32_t lAddress, int32_t lVal) {
  if (simulating()) return S_OK;
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kRegAnd, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableSoftwareVerify(short nEnable) {
  const auto w = Words({nEnable});
  return Command(cmd::kSoftwareVerify, w.data(), w.size());
}

HRESULT Q7kCommObject::SendTestWaveform(short nType, short nIndex, short nNext,
                                        short nPhase, short nSamples,
                                        float fAmpl) {
  auto w = Words({nType, nIndex, nPhase, nSamples});
  w.F32(fAmpl).U16(static_cast<uint16_t>(nNext));
  return Command(cmd::kTestWaveform, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableGuardCal(short nEnable) {
  const auto w = Words({nEnable});
  return Command(cmd::kGuardCal, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableRefCal(short nCalType, short nEnable) {
  const auto w = Words({nCalType, nEnable});
  return Command(cmd::kRefCal, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableSysCal(short nCalType, short nEnable) {
  const auto w = Words({nCalType, nEnable});
  return Command(cmd::kSysCal, w.data(), w.size());
}

HRESULT Q7kCommObject::UpdateRefCal(const float* fCoeffs) {
  if (fCoeffs == nullptr) return E_POINTER;
  PayloadWriter w;
  for (int i = 0; i < 6; ++i) w.F32(fCoeffs[i]);
  return Command(cmd::kUpdateRefCal, w.data(), w.size());
}

HRESULT Q7kCommObject::UpdateGuardCal(const short* nDAC, float fRefGain,
                                      const float* fSpecGains,
                                      const float* fSpecPhases) {
  if (!nDAC || !fSpecGains || !fSpecPhases) return E_POINTER;
  auto w = Words({nDAC[0], nDAC[1], nDAC[2], nDAC[3]});
  w.F32(fRefGain);
  ReversedTable(w, fSpecGains);
  ReversedTable(w, fSpecPhases);
  return Command(cmd::kUpdateGuardCal, w.data(), w.size());
}

HRESULT Q7kCommObject::UpdateSysCal(short nCalType, float fRefGain,
                                    const float* fSpecGains,
                                    const float* fSpecPhases) {
  if (!fSpecGains || !fSpecPhases) return E_POINTER;
  auto w = Words({nCalType});
  w.F32(fRefGain);
  ReversedTable(w, fSpecGains);
  ReversedTable(w, fSpecPhases);
  return Command(cmd::kUpdateSysCal, w.data(), w.size());
}

HRESULT Q7kCommObject::RequestRawResults(Q7K_RAW_DATA* rawData) {
  if (rawData == nullptr) return E_POINTER;
  const auto w = Words({rawData->FilterType});
  return Command(cmd::kRawResults, w.data(), w.size(), kRawResultBytes,
                 [rawData](const uint8_t* p, size_t) {
                   rawData->Ranging = LoadI16(p);
                   rawData->NumGroups = LoadI16(p + 2);
                   rawData->NumSpecGroups = LoadI16(p + 4);
                   rawData->NumVoltGroups = LoadI16(p + 6);
                   rawData->ResultsType = LoadI16(p + 8);
                   rawData->SpecimenPeak = LoadF32(p + 10);
                   rawData->ReferencePeak = LoadF32(p + 14);
                   rawData->SpecVectorX = LoadF32(p + 18);
                   rawData->SpecVectorY = LoadF32(p + 22);
                   rawData->RefVectorX = LoadF32(p + 26);
                   rawData->RefVectorY = LoadF32(p + 30);
                   return true;
                 });
}

HRESULT Q7kCommObject::EnableSafetyMonitor(short nEnable) {
  const auto w = Words({nEnable});
  return Command(cmd::kSafetyMonitor, w.data(), w.size());
}

HRESULT Q7kCommObject::RunChipSelectTest() {
  return Command(cmd::kChipSelectTest);
}

HRESULT Q7kCommObject::ContinuousWriteReg(int32_t lAddress, int32_t lVal) {
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kContinuousWrite, w.data(), w.size());
}

HRESULT Q7kCommObject::ContinuousReadReg(int32_t lAddress) {
  const auto w = Longs({lAddress});
  return Command(cmd::kContinuousRead, w.data(), w.size());
}

}  // namespace q7k
