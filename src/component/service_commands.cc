// The service and calibration commands of IQ7kComm.

#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "component/service_records.h"
#include "component/insulation_test_records.h"
#include "link/command_codes.h"
#include "link/le_bytes.h"

namespace q7k {
namespace {

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
  const auto lock = Serialize();
  if (thermalData == nullptr) return E_POINTER;
  if (simulating()) return sim_.ReadThermalData(*thermalData);
  return Command(cmd::kThermal, nullptr, 0, kThermalBlockBytes,
                 [thermalData](const uint8_t* p, size_t) {
                   DecodeThermalBlock(p, thermalData);
                   return true;
                 });
}

HRESULT Q7kCommObject::ReadCalInfo() {
  const auto lock = Serialize();
  if (simulating()) return sim_.ReadCalInfo(cal_);
  return Command(cmd::kCalInfo, nullptr, 0, kCalInfoBytes,
                 [this](const uint8_t* p, size_t n) {
                   return DecodeCalInfo(p, n, &cal_);
                 });
}

HRESULT Q7kCommObject::SetXfmrBoundaryTemps(float fOverTemp,
                                            float fCooldownTemp) {
  const auto lock = Serialize();
  PayloadWriter w;
  w.F32(fOverTemp).F32(fCooldownTemp);
  return Command(cmd::kBoundaryTemps, w.data(), w.size());
}

HRESULT Q7kCommObject::ReadRefCalCoeffs() {
  const auto lock = Serialize();
  if (simulating()) return sim_.ReadRefCalCoeffs(cal_);
  return Command(cmd::kRefCalCoeffs, nullptr, 0, kRefCoeffBytes,
                 [this](const uint8_t* p, size_t n) {
                   return DecodeRefCalCoeffs(p, n, &cal_);
                 });
}

HRESULT Q7kCommObject::RegWrite(int32_t lAddress, int32_t lVal) {
  const auto lock = Serialize();
  if (simulating()) return sim_.RegWrite(lVal);
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kRegWrite, w.data(), w.size());
}

HRESULT Q7kCommObject::RegRead(int32_t lAddress, int32_t* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (simulating()) return sim_.RegRead(lAddress, pVal);
  const auto w = Longs({lAddress});
  return Command(cmd::kRegRead, w.data(), w.size(), 4,
                 [pVal](const uint8_t* p, size_t) {
                   *pVal = LoadI32(p);
                   return true;
                 });
}

HRESULT Q7kCommObject::RegOr(int32_t lAddress, int32_t lVal) {
  const auto lock = Serialize();
  if (simulating()) return S_OK;
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kRegOr, w.data(), w.size());
}

HRESULT Q7kCommObject::RegAnd(int32_t lAddress, int32_t lVal) {
  const auto lock = Serialize();
  if (simulating()) return S_OK;
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kRegAnd, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableSoftwareVerify(short nEnable) {
  const auto lock = Serialize();
  const auto w = Words({nEnable});
  return Command(cmd::kSoftwareVerify, w.data(), w.size());
}

HRESULT Q7kCommObject::SendTestWaveform(short nType, short nIndex, short nNext,
                                        short nPhase, short nSamples,
                                        float fAmpl) {
  const auto lock = Serialize();
  auto w = Words({nType, nIndex, nPhase, nSamples});
  w.F32(fAmpl).U16(static_cast<uint16_t>(nNext));
  return Command(cmd::kTestWaveform, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableGuardCal(short nEnable) {
  const auto lock = Serialize();
  const auto w = Words({nEnable});
  return Command(cmd::kGuardCal, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableRefCal(short nCalType, short nEnable) {
  const auto lock = Serialize();
  const auto w = Words({nCalType, nEnable});
  return Command(cmd::kRefCal, w.data(), w.size());
}

HRESULT Q7kCommObject::EnableSysCal(short nCalType, short nEnable) {
  const auto lock = Serialize();
  const auto w = Words({nCalType, nEnable});
  return Command(cmd::kSysCal, w.data(), w.size());
}

HRESULT Q7kCommObject::UpdateRefCal(const float* fCoeffs) {
  const auto lock = Serialize();
  if (fCoeffs == nullptr) return E_POINTER;
  PayloadWriter w;
  for (int i = 0; i < 6; ++i) w.F32(fCoeffs[i]);
  return Command(cmd::kUpdateRefCal, w.data(), w.size());
}

HRESULT Q7kCommObject::UpdateGuardCal(const short* nDAC, float fRefGain,
                                      const float* fSpecGains,
                                      const float* fSpecPhases) {
  const auto lock = Serialize();
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
  const auto lock = Serialize();
  if (!fSpecGains || !fSpecPhases) return E_POINTER;
  auto w = Words({nCalType});
  w.F32(fRefGain);
  ReversedTable(w, fSpecGains);
  ReversedTable(w, fSpecPhases);
  return Command(cmd::kUpdateSysCal, w.data(), w.size());
}

HRESULT Q7kCommObject::RequestRawResults(Q7K_RAW_DATA* rawData) {
  const auto lock = Serialize();
  if (rawData == nullptr) return E_POINTER;
  const auto w = Words({rawData->FilterType});
  return Command(cmd::kRawResults, w.data(), w.size(), kRawResultBytes,
                 [rawData](const uint8_t* p, size_t n) {
                   return DecodeRawResults(p, n, rawData);
                 });
}

HRESULT Q7kCommObject::EnableSafetyMonitor(short nEnable) {
  const auto lock = Serialize();
  const auto w = Words({nEnable});
  return Command(cmd::kSafetyMonitor, w.data(), w.size());
}

HRESULT Q7kCommObject::RunChipSelectTest() {
  const auto lock = Serialize();
  return Command(cmd::kChipSelectTest);
}

HRESULT Q7kCommObject::ContinuousWriteReg(int32_t lAddress, int32_t lVal) {
  const auto lock = Serialize();
  const auto w = Longs({lAddress, lVal});
  return Command(cmd::kContinuousWrite, w.data(), w.size());
}

HRESULT Q7kCommObject::ContinuousReadReg(int32_t lAddress) {
  const auto lock = Serialize();
  const auto w = Longs({lAddress});
  return Command(cmd::kContinuousRead, w.data(), w.size());
}

}  // namespace q7k
