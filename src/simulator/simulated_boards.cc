#include "simulator/simulated_boards.h"

#include <string>

#include "eeprom/board_layout.h"

namespace q7k {
namespace {

struct BoardRow {
  int16_t slot;
  int16_t subslot;  // compared for slot 0 only
  const char* name;
  const char* partNumber;
  const char* revision;
  const char* mnemonic;
  const char* date;
  uint16_t writeCount;
  int32_t serial;
};

constexpr BoardRow kBoards[] = {
    {0, 0, "Q7300 Backplane", "71K-2913-01", "B", "MNO", "012497", 9001, 9945},
    {0, 1, "Amplifier Control", "71K-2948-01", "D", "ACB", "012795", 1, 4006},
    {0, 2, "Main Reference Assembly", "71K-2946-01", "E", "MRA", "123094", 49,
     4148},
    {0, 3, "Cal Ref Protection", "71K-2945-01", "B", "CRP", "112994", 14, 1824},
    {1, 0, "Q7300 Safety", "71K-2950-01", "D", "QSB", "012795", 2, 4658},
    {2, 0, "DSP/CPU Board", "71K-2926-01", "H", "DCB", "061996", 2, 5269},
    {4, 0, "Q7300 Timing Board", "71K-2939-01", "E", "QTB", "110194", 1, 4356},
    {6, 0, "Q7300 Guard", "71K-2933-01", "G", "QGB", "121594", 36, 4687},
    {7, 0, "Guard Mode Switch", "71K-2957-01", "D", "GMS", "012397", 18, 26},
    {8, 0, "Heater / LV Power Supply", "71K-2953-01", "D", "HLVPS", "012795", 1,
     4770},
};

// The calibration record of the boards that hold their own.
struct CalRecord {
  int16_t slot;
  int16_t subslot;
  uint16_t factors;
  const char* date;
  const char* initials;
  uint16_t valid0;
  uint16_t valid1;
};

constexpr CalRecord kCalRecords[] = {
    {0, 2, 2, "012795", "MRA", 3, 0},
    {0, 3, 4, "120794", "CRP", 15, 0},
    {6, 0, 25, "121594", "QGB", 0xFFFF, 511},
};

constexpr int kMnemonicChars = 4;

const BoardRow* Find(int16_t slot, int16_t subslot) {
  for (const BoardRow& row : kBoards) {
    if (row.slot == slot && (slot != 0 || row.subslot == subslot)) return &row;
  }
  return nullptr;
}

void PutCalBlock(EepromImage* image, int b, uint16_t revision, uint16_t factors,
                 const char* initials, uint16_t valid1, uint16_t word15) {
  auto& w = image->words();
  w[b] = revision;
  w[b + board::kBlockFactors] = factors;
  image->PutChars(b + board::kBlockDate, 6, "012497");
  image->PutChars(b + board::kBlockInitials, 4, initials);
  w[b + board::kBlockValidBits] = 0xFFFF;
  w[b + board::kBlockValidBits + 1] = valid1;
  w[b + 14] = 4;
  w[b + 15] = word15;
  image->PutLong(b + board::kBlockGuardSerial, 4687);
  image->PutLong(b + board::kBlockSwitchSerial, 26);
  image->PutLong(b + board::kBlockMainRefSerial, 4148);
  image->PutLong(b + board::kBlockBackplaneSerial, 9945);
  for (int k = 0; k < 10; ++k) {
    image->PutFloat(b + board::kBlockGain + 4 * k, 1.0f);
    image->PutFloat(b + board::kBlockPhase + 4 * k, 0.0f);
  }
}

void PutBackplane(EepromImage* image) {
  auto& w = image->words();
  image->PutChars(board::kXfmrSerial, 8, "T-765432");
  w[50] = 2000;
  w[51] = 2;
  image->PutLong(board::kInstrumentSerial, 129400373);
  w[54] = board::kFactoryBlock;
  w[55] = board::kFieldBlock;
  PutCalBlock(image, board::kFactoryBlock, 1000, 26, "PQR", 1023, 21);
  PutCalBlock(image, board::kFieldBlock, 1031, 30, "STU", 16383, 23);
  w[234] = 1;
}

void PutBoard(const BoardRow& row, EepromImage* image) {
  auto& w = image->words();
  w[board::kSignature] = board::kHeaderSignature;
  w[board::kWriteCount] = row.writeCount;
  w[2] = 1;
  image->PutChars(board::kPartNumber, 12, row.partNumber);
  image->PutChars(board::kRevision, 4, row.revision);
  image->PutChars(board::kName, 32, row.name);
  image->PutLong(board::kAssySerial, row.serial);
  image->PutChars(board::kMnemonic, 8,
                  std::string(row.mnemonic).substr(0, kMnemonicChars));
  image->PutChars(board::kBoardDate, 6, row.date);
  for (const CalRecord& cal : kCalRecords) {
    if (cal.slot != row.slot || cal.subslot != row.subslot) continue;
    w[board::kRecordRevision] = 2;
    w[board::kRecordFactors] = cal.factors;
    image->PutChars(board::kRecordDate, 6, cal.date);
    image->PutChars(board::kRecordInitials, 4, cal.initials);
    w[board::kRecordValidBits] = cal.valid0;
    w[board::kRecordValidBits + 1] = cal.valid1;
  }
  if (row.slot == 0 && row.subslot == 0) PutBackplane(image);
}

}  // namespace

void FillSimulatedBoard(int16_t slot, int16_t subslot, EepromImage* image) {
  auto& w = image->words();
  w.fill(0);
  if (const BoardRow* row = Find(slot, subslot)) PutBoard(*row, image);
  w[board::kChecksumWord] = 0;
  w[board::kChecksumWord] = static_cast<uint16_t>(0x10000 - WordSum(w));
}

}  // namespace q7k
