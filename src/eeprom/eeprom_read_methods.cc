// The single-value EEPROM reads of IQ7kEeprom: command 0x7E06 for a word,
// 0x7E0A for a 32-bit value, each with the 6-byte board address
//
//   offset 0  2 bytes  slot
//   offset 2  2 bytes  subslot
//   offset 4  2 bytes  location (word index 0..255)
//
// and the value at the start of the reply data.
#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "link/command_codes.h"
#include "link/le_bytes.h"

namespace q7k {
namespace {

constexpr short kLastLocation = 255;

PayloadWriter BoardAddress(short slot, short subslot, short location) {
  PayloadWriter w;
  w.U16(static_cast<uint16_t>(slot))
      .U16(static_cast<uint16_t>(subslot))
      .U16(static_cast<uint16_t>(location));
  return w;
}

// The simulated backplane's fixed answers: its calibration revision and
// flag words.
short SimulatedWord(short slot, short subslot, short location) {
  if (slot != 0 || subslot != 0) return 0;
  switch (location) {
    case 164:
      return 1021;
    case 172:
      return static_cast<short>(0xFFFF);
    case 173:
      return 0x3FFF;
    default:
      return 0;
  }
}

}  // namespace

HRESULT Q7kCommObject::ReadInt(short nSlot, short nSubslot, short nLoc,
                               short* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = 0;
  if (simulating()) {
    if (nLoc < 0 || nLoc > kLastLocation) return E_INVALIDARG;
    *pVal = SimulatedWord(nSlot, nSubslot, nLoc);
    return S_OK;
  }
  const auto w = BoardAddress(nSlot, nSubslot, nLoc);
  return Command(cmd::kReadInt, w.data(), w.size(), 2,
                 [pVal](const uint8_t* p, size_t) {
                   *pVal = LoadI16(p);
                   return true;
                 });
}

HRESULT Q7kCommObject::ReadFloat(short nSlot, short nSubslot, short nLoc,
                                 float* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = 0.0f;
  if (simulating()) return S_OK;
  const auto w = BoardAddress(nSlot, nSubslot, nLoc);
  return Command(cmd::kReadLong, w.data(), w.size(), 4,
                 [pVal](const uint8_t* p, size_t) {
                   *pVal = LoadF32(p);
                   return true;
                 });
}

}  // namespace q7k
