// IQ7kEeprom safe update: the protocol runs in eeprom/safe_update through
// the component's own transfer methods; a failure ends in the failure tail.
#include "component/q7k_comm_object.h"
#include "eeprom/board_reads.h"
#include "eeprom/safe_update.h"

namespace q7k {
namespace {

constexpr short kFactoryCalType = 1;

}  // namespace

HRESULT Q7kCommObject::RunSafeWrite(short slot, short subslot,
                                    const std::vector<Span>& spans,
                                    const std::vector<uint16_t>& words) {
  const auto lock = Serialize();
  SafeUpdater update(eeprom(), errorState_.get(), slot, subslot);
  return update.Write(spans, words) ? S_OK : ReportFailure();
}

HRESULT Q7kCommObject::SafeUpdate(short nSlot, short nSubslot, short nWrtCount,
                                  short nChecksum) {
  const auto lock = Serialize();
  q7k::SafeUpdater update(eeprom(), errorState_.get(), nSlot, nSubslot);
  return update.Commit(static_cast<uint16_t>(nWrtCount),
                       static_cast<uint16_t>(nChecksum))
             ? S_OK
             : ReportFailure();
}

HRESULT Q7kCommObject::SafeWriteInt(short nSlot, short nSubslot, short nLoc,
                                    short nVal) {
  const auto lock = Serialize();
  return RunSafeWrite(nSlot, nSubslot, {{SpanKind::kInt, nLoc}},
                      {static_cast<uint16_t>(nVal)});
}

HRESULT Q7kCommObject::SafeWrite32(short nSlot, short nSubslot, short nLoc,
                                   const short* pVals) {
  const auto lock = Serialize();
  if (pVals == nullptr) return E_POINTER;
  return RunSafeWrite(nSlot, nSubslot, {{SpanKind::kBlock, nLoc}},
                      std::vector<uint16_t>(pVals, pVals + kBlockWords));
}

HRESULT Q7kCommObject::SafeWriteFloat(short nSlot, short nSubslot, short nLoc,
                                      float fVal) {
  const auto lock = Serialize();
  uint16_t low = 0, high = 0;
  SplitFloat(fVal, &low, &high);
  return RunSafeWrite(nSlot, nSubslot, {{SpanKind::kFloat, nLoc}}, {low, high});
}

HRESULT Q7kCommObject::SafeWriteFloat16(short nSlot, short nSubslot, short nLoc,
                                        const float* pfVals) {
  const auto lock = Serialize();
  if (pfVals == nullptr) return E_POINTER;
  std::vector<uint16_t> words(kBlockWords);
  for (int i = 0; i < kBlockFloats; ++i) {
    SplitFloat(pfVals[i], &words[2 * i], &words[2 * i + 1]);
  }
  return RunSafeWrite(nSlot, nSubslot, {{SpanKind::kFloat16, nLoc}}, words);
}

HRESULT Q7kCommObject::SafeWriteBoardHeader(short nSlot, short nSubslot) {
  const auto lock = Serialize();
  const std::vector<Span> spans = BoardHeaderSpans();
  return RunSafeWrite(nSlot, nSubslot, spans, WordsAt(image_, spans));
}

HRESULT Q7kCommObject::SafeWriteCalHeader(short nSlot, short nSubslot,
                                          short nCalType) {
  const auto lock = Serialize();
  const int16_t base =
      nCalType == kFactoryCalType ? board::kFactoryBlock : board::kFieldBlock;
  const std::vector<Span> spans = CalHeaderSpans(base);
  return RunSafeWrite(nSlot, nSubslot, spans, WordsAt(image_, spans));
}

}  // namespace q7k
