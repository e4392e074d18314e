// IQ7kEeprom: each method takes its simulated path or forwards to the
// board-EEPROM subsystem with the call's channel.
#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "eeprom/board_reads.h"

namespace q7k {

HRESULT Q7kCommObject::ReadInt(short nSlot, short nSubslot, short nLoc,
                               short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = 0;
  if (simulating()) {
    if (nLoc < 0 || nLoc > kLastEepromLocation) return E_INVALIDARG;
    *pVal = SimulatedBoardWord(nSlot, nSubslot, nLoc);
    return S_OK;
  }
  return ReadBoardWord(channel(), nSlot, nSubslot, nLoc, pVal)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::ReadFloat(short nSlot, short nSubslot, short nLoc,
                                 float* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = 0.0f;
  if (simulating()) return S_OK;
  return ReadBoardFloat(channel(), nSlot, nSubslot, nLoc, pVal)
             ? S_OK
             : ReportFailure();
}

}  // namespace q7k
