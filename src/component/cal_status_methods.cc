// IQ7kCalStatus: the status records and the calibration check, which finds
// and reads the board through the component's own interfaces.
#include <cstring>

#include "component/ansi_text.h"
#include "component/q7k_comm_object.h"

namespace q7k {
namespace {

template <typename T>
HRESULT GetField(const CalibrationStatus& status, short i,
                 T CalStatusRecord::*field, T* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = CalibrationStatus::Known(i) ? status.record(i).*field : T{0};
  return S_OK;
}

}  // namespace

HRESULT Q7kCommObject::get_CalStatus(short i, short* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::CalStatus, pVal);
}
HRESULT Q7kCommObject::get_ChecksumStatus(short i, short* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::ChecksumStatus, pVal);
}
HRESULT Q7kCommObject::get_ReportedStatus(short i, short* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::ReportedStatus, pVal);
}
HRESULT Q7kCommObject::get_CalNumFactors(short i, short* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::CalNumFactors, pVal);
}
HRESULT Q7kCommObject::get_CalValidFactors(short i, short* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::CalValidFactors, pVal);
}
HRESULT Q7kCommObject::get_CalSerialNumError(short i, short* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::CalSerialNumError, pVal);
}
HRESULT Q7kCommObject::get_CalStatusError(short i, short* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::CalStatusError, pVal);
}
HRESULT Q7kCommObject::get_CalSerialNumber(short i, int32_t* pVal) {
  const auto lock = Serialize();
  return GetField(calStatus_, i, &CalStatusRecord::CalSerialNumber, pVal);
}

HRESULT Q7kCommObject::get_CalDone(short i, short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = CalibrationStatus::Known(i) ? cal_.CalDone[i] : 0;
  return S_OK;
}

HRESULT Q7kCommObject::get_CalDate(short i, BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (!CalibrationStatus::Known(i)) return ReturnAnsi("", pVal);
  const char* date = cal_.CalDate[i];
  return ReturnAnsi(std::string(date, strnlen(date, kCalDateSlot)), pVal);
}

HRESULT Q7kCommObject::InitCalStatusData(short nCalType) {
  const auto lock = Serialize();
  if (!CalibrationStatus::Known(nCalType)) return E_INVALIDARG;
  calStatus_.InitRecord(nCalType);
  return S_OK;
}

HRESULT Q7kCommObject::TraceCalStatusData(short nCalType) {
  const auto lock = Serialize();
  return CalibrationStatus::Known(nCalType) ? S_OK : E_INVALIDARG;
}

HRESULT Q7kCommObject::CheckCalStatus(short nCalType, short nCalDone) {
  const auto lock = Serialize();
  if (!CalibrationStatus::Known(nCalType)) {
    // No board holds it: the search for an empty key records why. Checked
    // before the simulated path, which would otherwise write a record
    // outside the six.
    short slot = -1;
    comm()->FindBoardSlot(nullptr, &slot);
    return E_FAIL;
  }
  calStatus_.InitRecord(nCalType);
  if (simulating()) return sim_.CheckCalStatus(nCalType, calStatus_);
  const CalBoard where = CalibrationStatus::BoardOf(nCalType);
  short slot = where.slot;
  if (where.key[0] != 0) {
    calStatus_.MarkSearching(nCalType);
    const Bstr key(AnsiToWide(where.key));
    if (FAILED(comm()->FindBoardSlot(key.get(), &slot))) return E_FAIL;
  }
  if (FAILED(eeprom()->ReadContents(slot, where.subslot))) {
    calStatus_.MarkUnreadable(nCalType);
    return E_FAIL;
  }
  calStatus_.Judge(nCalType, nCalDone, image_);
  return S_OK;
}

}  // namespace q7k
