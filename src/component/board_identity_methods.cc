// IQ7kComm board identity queries: answers read word by word from the
// board EEPROMs, or the simulator's.

#include "component/ansi_text.h"
#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "eeprom/board_identity.h"
#include "eeprom/board_layout.h"
#include "eeprom/board_reads.h"
#include "eeprom/eeprom_image.h"

namespace q7k {
namespace {

constexpr char kGuardBoardKey[] = "2933";
constexpr int16_t kFieldCalDate = board::kFieldBlock + board::kBlockDate;
constexpr short kHighestSearchedSlot = 7;

// Two word reads forming one 32-bit value, stopping at the first failure.
bool ReadWordPair(const CommandChannel& channel, int16_t slot, int16_t subslot,
                  int16_t location, int32_t* out) {
  int16_t low = 0, high = 0;
  if (!ReadBoardWord(channel, slot, subslot, location, &low) ||
      !ReadBoardWord(channel, slot, subslot, static_cast<int16_t>(location + 1),
                     &high)) {
    return false;
  }
  *out = static_cast<int32_t>(
      JoinWords(static_cast<uint16_t>(low), static_cast<uint16_t>(high)));
  return true;
}

}  // namespace

HRESULT Q7kCommObject::ReadQ7ISerialNumber(int32_t* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (simulating()) return sim_.ReadQ7ISerialNumber(pVal);
  int32_t serial = 0;
  if (FAILED(eeprom()->ReadLong(0, 0, board::kInstrumentSerial, &serial))) {
    return E_FAIL;
  }
  *pVal = serial;
  return S_OK;
}

HRESULT Q7kCommObject::ReadXfmrSerialNumber(BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (simulating()) return ReturnAnsi(sim_.ReadXfmrSerialNumber(), pVal);
  char text[9] = {};
  const bool ok =
      ReadBoardChars(channel(), 0, 0, board::kXfmrSerial, 4, 2, text);
  const HRESULT hr = ReturnAnsi(text, pVal);  // what was read, in any case
  return ok ? hr : ReportFailure();
}

HRESULT Q7kCommObject::ReadAssySerialNumber(short nSlot, short nSubslot,
                                            int32_t* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  // The simulator knows one board; the others are the port's, which in
  // simulation answers without data: their serial number reads 0.
  if (simulating() && sim_.ReadAssySerialNumber(nSubslot, pVal)) return S_OK;
  if (!ReadWordPair(channel(), nSlot, nSubslot, board::kAssySerial, pVal)) {
    *pVal = -1;
    return ReportFailure();
  }
  return S_OK;
}

HRESULT Q7kCommObject::ReadCalDateInt(short nSlot, short nSubslot,
                                      short nFldCal, short* lpnDate) {
  const auto lock = Serialize();
  if (lpnDate == nullptr) return E_POINTER;
  if (simulating()) return sim_.ReadCalDateInt(lpnDate);
  const int16_t first = nFldCal != 0 ? kFieldCalDate : board::kRecordDate;
  for (int i = 0; i < 3; ++i) {
    int16_t word = 0;
    if (!ReadBoardWord(channel(), nSlot, nSubslot,
                       static_cast<int16_t>(first + i), &word)) {
      return ReportFailure();
    }
    lpnDate[i] = DecimalOfChars(static_cast<uint16_t>(word));
  }
  return S_OK;
}

HRESULT Q7kCommObject::ReadCalDate(short nSlot, short nSubslot, BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (simulating()) return ReturnAnsi(sim_.ReadCalDate(), pVal);
  char text[9] = {};
  bool ok = true;
  for (int i = 0; i < 3 && ok; ++i) {
    const auto at = static_cast<int16_t>(board::kRecordDate + i);
    ok = ReadBoardChars(channel(), nSlot, nSubslot, at, 1, 2, text + 3 * i);
    if (ok && i < 2) text[3 * i + 2] = '/';
  }
  const HRESULT hr = ReturnAnsi(text, pVal);
  return ok ? hr : ReportFailure();
}

HRESULT Q7kCommObject::ReadGuardBoardRev(int32_t* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  short slot = -1;
  const Bstr key(AnsiToWide(kGuardBoardKey));
  if (FAILED(comm()->FindBoardSlot(key.get(), &slot))) return E_FAIL;
  return ReadWordPair(channel(), slot, 0, board::kRevision, pVal)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::FindBoardSlot(BSTR bstrFind, short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  const std::string key = AnsiOf(bstrFind).substr(0, kSearchKeyChars);
  *pVal = -1;
  if (key.empty()) {
    errorState_->RecordEepromError(kEepromNoBoardName);
    return E_INVALIDARG;
  }
  const bool simulated = simulating();
  for (short slot = kHighestSearchedSlot; slot >= 1; --slot) {
    char boardKey[kBoardKeyChars + 1] = {};
    if (simulated) {
      sim_.ReadBoardKey(boardKey);
    } else if (!ReadBoardChars(channel(), slot, 0, board::kKey, 2, 2,
                               boardKey)) {
      break;
    }
    if (KeysMatch(key, boardKey)) {
      *pVal = slot;
      return S_OK;
    }
  }
  errorState_->RecordEepromError(kEepromNoBoardSlot);
  return ReportFailure();
}

}  // namespace q7k
