// IQ7kEeprom transfers: each method takes the simulator's answer or forwards
// to the board-EEPROM subsystem with the call's channel.
#include <algorithm>
#include <cstring>

#include "component/command_guard.h"
#include "component/q7k_comm_object.h"
#include "eeprom/board_layout.h"
#include "eeprom/board_reads.h"
#include "eeprom/board_writes.h"
#include "simulator/simulated_boards.h"

namespace q7k {
namespace {

constexpr int kImageBlocks = board::kWords / kBlockWords;

uint32_t BitsOf(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

}  // namespace

HRESULT Q7kCommObject::ReadHeader(short nSlot, short nSubslot, short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  if (simulating()) return sim_.ReadHeader(pVal);
  int16_t word = 0;
  if (!ReadBoardWord(channel(), nSlot, nSubslot, board::kSignature, &word)) {
    return ReportFailure();
  }
  *pVal = word;
  return S_OK;
}

HRESULT Q7kCommObject::ReadInt(short nSlot, short nSubslot, short nLoc,
                               short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = 0;
  if (simulating()) return sim_.ReadInt(nSlot, nSubslot, nLoc, pVal);
  return ReadBoardWord(channel(), nSlot, nSubslot, nLoc, pVal)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::ReadLong(short nSlot, short nSubslot, short nLoc,
                                int32_t* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = 0;
  if (simulating()) return sim_.ReadLong(nSlot, nSubslot, nLoc, pVal);
  return ReadBoardLong(channel(), nSlot, nSubslot, nLoc, pVal)
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

HRESULT Q7kCommObject::WriteInt(short nSlot, short nSubslot, short nLoc,
                                short nVal) {
  const auto lock = Serialize();
  if (simulating()) return S_OK;
  return WriteBoardWord(channel(), nSlot, nSubslot, nLoc, nVal)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::WriteLong(short nSlot, short nSubslot, short nLoc,
                                 int32_t lVal) {
  const auto lock = Serialize();
  if (simulating()) return S_OK;
  return WriteBoardLong(channel(), nSlot, nSubslot, nLoc,
                        static_cast<uint32_t>(lVal))
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::WriteFloat(short nSlot, short nSubslot, short nLoc,
                                  float fVal) {
  const auto lock = Serialize();
  if (simulating()) return S_OK;
  return WriteBoardLong(channel(), nSlot, nSubslot, nLoc, BitsOf(fVal))
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::Read32(short nSlot, short nSubslot, short nStartLoc,
                              short* lpnVal, short* lpnSum) {
  const auto lock = Serialize();
  if (lpnVal == nullptr || lpnSum == nullptr) return E_POINTER;
  if (simulating()) return sim_.Read32();
  return ReadBoard32(channel(), nSlot, nSubslot, nStartLoc, lpnVal, lpnSum)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::Write32(short nSlot, short nSubslot, short nStartLoc,
                               const short* lpnVal) {
  const auto lock = Serialize();
  if (lpnVal == nullptr) return E_POINTER;
  if (simulating()) return sim_.Write32();
  return WriteBoard32(channel(), nSlot, nSubslot, nStartLoc, lpnVal)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::ReadFloat16(short nSlot, short nSubslot, short nStartLoc,
                                   float* lpfVal) {
  const auto lock = Serialize();
  if (lpfVal == nullptr) return E_POINTER;
  if (simulating()) return sim_.ReadFloat16();
  return ReadBoardFloat16(channel(), nSlot, nSubslot, nStartLoc, lpfVal)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::WriteFloat16(short nSlot, short nSubslot,
                                    short nStartLoc, const float* lpfVal) {
  const auto lock = Serialize();
  if (lpfVal == nullptr) return E_POINTER;
  if (simulating()) return sim_.WriteFloat16();
  return WriteBoardFloat16(channel(), nSlot, nSubslot, nStartLoc, lpfVal)
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::CalculateChecksum(short nSlot, short nSubslot,
                                         short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = 0;
  if (simulating()) return S_OK;
  return ReadBoardChecksum(channel(), nSlot, nSubslot, pVal) ? S_OK
                                                             : ReportFailure();
}

HRESULT Q7kCommObject::ReadContents(short nSlot, short nSubslot) {
  const auto lock = Serialize();
  image_.Clear();
  if (simulating()) FillSimulatedBoard(nSlot, nSubslot, &image_);
  auto& words = image_.words();
  for (int k = 0; k < kImageBlocks; ++k) {
    const auto first = static_cast<size_t>(kBlockWords * k);
    // The block is seeded from the image: a read without data leaves it.
    short block[kBlockWords];
    std::copy_n(words.begin() + first, kBlockWords, block);
    short sum = image_.checksum();
    const HRESULT hr = eeprom()->Read32(nSlot, nSubslot,
                                        static_cast<short>(first), block, &sum);
    if (FAILED(hr)) return E_FAIL;
    std::copy_n(block, kBlockWords, words.begin() + first);
    image_.set_checksum(sum);
  }
  return S_OK;
}

HRESULT Q7kCommObject::WriteContents(short nSlot, short nSubslot) {
  const auto lock = Serialize();
  const auto& words = image_.words();
  for (int k = 0; k < kImageBlocks; ++k) {
    const auto first = static_cast<size_t>(kBlockWords * k);
    short block[kBlockWords];
    std::copy_n(words.begin() + first, kBlockWords, block);
    const HRESULT hr =
        eeprom()->Write32(nSlot, nSubslot, static_cast<short>(first), block);
    if (FAILED(hr)) return E_FAIL;
  }
  return S_OK;
}

}  // namespace q7k
