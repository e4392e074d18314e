// IQ7kEeprom: the calibration coefficient pool, filled from the boards
// through the component's own transfer methods.
#include "component/q7k_comm_object.h"
#include "eeprom/board_layout.h"
#include "eeprom/calibration_pool.h"

namespace q7k {
namespace {

constexpr short kRevisionSubslot = 3;

}  // namespace

HRESULT Q7kCommObject::ReadCalCoeffs(short nCalType) {
  const auto lock = Serialize();
  if (simulating()) return sim_.ReadRefCalCoeffs(cal_);
  return LoadReferenceValues(eeprom(), nCalType, &cal_) ? S_OK : E_FAIL;
}

HRESULT Q7kCommObject::ReadSysCoeffs(short nCalBlock) {
  const auto lock = Serialize();
  MarkCoefficientsUnread(&cal_);
  if (FAILED(eeprom()->ReadContents(0, 0))) return E_FAIL;
  TakeSystemCoefficients(image_, nCalBlock, &cal_);
  return S_OK;
}

HRESULT Q7kCommObject::ReadCalDataRevision(short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (simulating()) return sim_.ReadCalDataRevision(pVal);
  short word = 0;
  if (FAILED(eeprom()->ReadInt(0, kRevisionSubslot, board::kRecordRevision,
                               &word))) {
    *pVal = -1;
    return E_FAIL;
  }
  *pVal = CalDataRevision(word);
  return S_OK;
}

HRESULT Q7kCommObject::SetCalPoolToDefault() {
  const auto lock = Serialize();
  ResetSystemCoefficients(&cal_);
  return FAILED(
             comm()->UpdateSysCal(0, 1.0f, cal_.GainCoeffs, cal_.PhaseCoeffs))
             ? E_FAIL
             : S_OK;
}

}  // namespace q7k
