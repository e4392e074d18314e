#include "component/service_records.h"

#include <cstring>

#include "link/le_bytes.h"

namespace q7k {
namespace {

// Calibration blocks in the order of the calibration-info reply.
constexpr CAL_INDEX kCalInfoOrder[] = {BP_FIELD_CAL, BP_FACTORY_CAL, GUARD_CAL,
                                       MAIN_REF_CAL, FIELD_REF_CAL};

}  // namespace

bool DecodeCalInfo(const uint8_t* p, size_t n, CalibrationCache* cal) {
  if (n < kCalInfoBytes) return false;
  std::memset(cal->CalDone, 0, sizeof cal->CalDone);
  std::memset(cal->CalDate, 0, sizeof cal->CalDate);
  for (size_t g = 0; g < 5; ++g) {
    const CAL_INDEX block = kCalInfoOrder[g];
    const uint8_t* group = p + 10 * g;
    cal->CalDone[block] = LoadI16(group);
    for (size_t i = 0; i < 8 && group[2 + i] != 0; ++i) {
      cal->CalDate[block][i] = static_cast<char>(group[2 + i]);
    }
  }
  return true;
}

bool DecodeRefCalCoeffs(const uint8_t* p, size_t n, CalibrationCache* cal) {
  if (n < kRefCoeffBytes) return false;
  for (REFCAL_INDEX i : {MAIN_RES, RED_RES, BLUE_RES}) {
    cal->CalResistor[i] = LoadF32(p);
    cal->CalPoleFreq[i] = LoadF32(p + 4);
    p += 8;
  }
  return true;
}

bool DecodeRawResults(const uint8_t* p, size_t n, Q7K_RAW_DATA* raw) {
  if (n < kRawResultBytes) return false;
  raw->Ranging = LoadI16(p);
  raw->NumGroups = LoadI16(p + 2);
  raw->NumSpecGroups = LoadI16(p + 4);
  raw->NumVoltGroups = LoadI16(p + 6);
  raw->ResultsType = LoadI16(p + 8);
  raw->SpecimenPeak = LoadF32(p + 10);
  raw->ReferencePeak = LoadF32(p + 14);
  raw->SpecVectorX = LoadF32(p + 18);
  raw->SpecVectorY = LoadF32(p + 22);
  raw->RefVectorX = LoadF32(p + 26);
  raw->RefVectorY = LoadF32(p + 30);
  return true;
}

}  // namespace q7k
