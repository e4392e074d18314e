#include "board_inventory.h"

#include <cstring>

namespace q7k {
namespace emu {
namespace {

constexpr uint16_t kHeaderSignature = 0x5A0F;

void PutLong(EepromWords* w, int location, uint32_t v) {
  (*w)[location] = static_cast<uint16_t>(v);
  (*w)[location + 1] = static_cast<uint16_t>(v >> 16);
}

void PutFloat(EepromWords* w, int location, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  PutLong(w, location, bits);
}

struct BoardRow {
  int16_t slot;
  int16_t subslot;
  const char* name;
  const char* partNumber;
  const char* revision;
  const char* mnemonic;
  const char* date;
  uint16_t writeCount;
  uint32_t serial;
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

// Calibration record of the boards that hold their own (locations 50-59).
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

void PutCalBlock(EepromWords* w, int b, uint16_t revision, uint16_t factors,
                 const char* initials, uint16_t valid1, uint16_t word15) {
  (*w)[b] = revision;
  (*w)[b + 1] = factors;
  PutText(w, b + 2, "012497", 6);
  PutText(w, b + 5, initials, 4);
  (*w)[b + 8] = 0xFFFF;
  (*w)[b + 9] = valid1;
  (*w)[b + 14] = 4;
  (*w)[b + 15] = word15;
  PutLong(w, b + 16, 4687);  // guard board
  PutLong(w, b + 18, 26);    // guard mode switch
  PutLong(w, b + 20, 4148);  // main reference
  PutLong(w, b + 22, 9945);  // backplane
  for (int k = 0; k < 10; ++k) {
    PutFloat(w, b + 24 + 4 * k, 1.0f);
    PutFloat(w, b + 26 + 4 * k, 0.0f);
  }
}

void PutBackplane(EepromWords* w) {
  PutText(w, 40, "T-765432", 8);
  (*w)[50] = 2000;
  (*w)[51] = 2;
  PutLong(w, 52, 129400373);
  (*w)[54] = 64;
  (*w)[55] = 164;
  PutCalBlock(w, 64, 1000, 26, "PQR", 1023, 21);
  PutCalBlock(w, 164, 1031, 30, "STU", 16383, 23);
  (*w)[234] = 1;
}

}  // namespace

uint16_t WordSum(const EepromWords& words) {
  uint16_t sum = 0;
  for (uint16_t v : words) sum = static_cast<uint16_t>(sum + v);
  return sum;
}

void SealChecksum(EepromWords* words) {
  (*words)[kEepromWords - 1] = 0;
  (*words)[kEepromWords - 1] = static_cast<uint16_t>(0x10000 - WordSum(*words));
}

void PutText(EepromWords* words, int location, const std::string& text,
             int count) {
  for (int i = 0; i < count; ++i) {
    const int byte = 2 * location + i;
    if (byte >= 2 * kEepromWords) return;
    const uint8_t c =
        i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[i]) : 0;
    uint16_t& w = (*words)[byte / 2];
    w = (byte % 2 == 0) ? static_cast<uint16_t>((w & 0xFF00) | c)
                        : static_cast<uint16_t>((w & 0x00FF) | (c << 8));
  }
}

std::string GetText(const EepromWords& words, int location, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    const int byte = 2 * location + i;
    if (byte >= 2 * kEepromWords) break;
    const uint16_t w = words[byte / 2];
    s.push_back(static_cast<char>(byte % 2 == 0 ? (w & 0xFF) : (w >> 8)));
  }
  return s;
}

std::vector<BoardImage> InitialBoards() {
  std::vector<BoardImage> boards;
  for (const BoardRow& row : kBoards) {
    BoardImage b;
    b.slot = row.slot;
    b.subslot = row.subslot;
    EepromWords& w = b.words;
    w[0] = kHeaderSignature;
    w[1] = row.writeCount;
    w[2] = 1;
    PutText(&w, 3, row.partNumber, 12);
    PutText(&w, 9, row.revision, 4);
    PutText(&w, 11, row.name, 32);
    PutLong(&w, 27, row.serial);
    PutText(&w, 29, std::string(row.mnemonic).substr(0, 4), 8);
    PutText(&w, 33, row.date, 6);
    for (const CalRecord& cal : kCalRecords) {
      if (cal.slot != row.slot || cal.subslot != row.subslot) continue;
      w[50] = 2;
      w[51] = cal.factors;
      PutText(&w, 52, cal.date, 6);
      PutText(&w, 55, cal.initials, 4);
      w[58] = cal.valid0;
      w[59] = cal.valid1;
    }
    if (row.slot == 0 && row.subslot == 0) PutBackplane(&w);
    SealChecksum(&w);
    boards.push_back(b);
  }
  return boards;
}

}  // namespace emu
}  // namespace q7k
