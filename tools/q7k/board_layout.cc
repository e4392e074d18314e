#include "board_layout.h"

#include <bitset>
#include <cctype>

namespace q7k::tool {
namespace {

constexpr char kGuardBoardKey[] = "2933";

// Reads typed values out of the image.
struct Image {
  IQ7kEeprom* e;

  int Word(short at) const {
    short v = 0;
    e->get_ValInt(at, &v);
    return static_cast<uint16_t>(v);
  }
  int32_t Long(short at) const {
    int32_t v = 0;
    e->get_ValLong(at, &v);
    return v;
  }
  float Float(short at) const {
    float v = 0;
    e->get_ValFloat(at, &v);
    return v;
  }
  std::string Text(short at, short chars) const {
    Bstr v;
    e->get_ValChars(at, chars, v.out());
    return v.utf8();
  }
  std::string Date(short at) const {
    Bstr v;
    e->get_ValDate(at, v.out());
    return v.utf8();
  }
  // The 1 bits of consecutive words, as the status check counts them.
  int Bits(short at, int words) const {
    int n = 0;
    for (int i = 0; i < words; ++i) n += std::bitset<16>(Word(at + i)).count();
    return n;
  }
  std::vector<float> Floats(short at, int count, int stride) const {
    std::vector<float> v;
    for (int i = 0; i < count; ++i) v.push_back(Float(at + i * stride));
    return v;
  }
};

std::string Hex(int word) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", word);
  return text;
}

std::string Joined(const std::vector<float>& values) {
  std::string text;
  char one[24];
  for (float v : values) {
    std::snprintf(one, sizeof one, "%s%g", text.empty() ? "" : " ", v);
    text += one;
  }
  return text;
}

// "Name (location)": people see where a value lives.
std::string At(const char* name, int loc) {
  return std::string(name) + " (" + std::to_string(loc) + ")";
}

BoardSection Header(const Image& m, bool backplane) {
  BoardSection s{"header", "Board header", {}};
  s.fields = {
      {"signature", At("Signature", kSignatureLoc), m.Word(kSignatureLoc),
       Hex(m.Word(kSignatureLoc))},
      {"write_count", At("Write count", kWriteCountLoc),
       m.Word(kWriteCountLoc)},
      {"part_number", At("Part number", kPartNumberLoc),
       m.Text(kPartNumberLoc, 12)},
      {"revision", At("Revision", kRevisionLoc), m.Text(kRevisionLoc, 4)},
      {"name", At("Name", kNameLoc), m.Text(kNameLoc, 32)},
      {"serial", At("Assembly serial", kSerialLoc), m.Long(kSerialLoc)},
      {"mnemonic", At("Mnemonic", kMnemonicLoc), m.Text(kMnemonicLoc, 8)},
      {"date", At("Board date", kBoardDateLoc), m.Date(kBoardDateLoc)},
      {"revision_word", At("Revision word", kRevisionWordLoc),
       m.Word(kRevisionWordLoc)},
  };
  if (backplane) {
    s.fields.push_back({"transformer_serial",
                        At("Transformer serial", kTransformerSerialLoc),
                        m.Text(kTransformerSerialLoc, 8)});
    s.fields.push_back({"instrument_serial",
                        At("Instrument serial", kInstrumentSerialLoc),
                        m.Long(kInstrumentSerialLoc)});
  }
  return s;
}

BoardSection CalRecord(const Image& m, bool referenceBoard) {
  BoardSection s{"calibration", "Calibration record", {}};
  s.fields = {
      {"factors", At("Factors", kCalFactorsLoc), m.Word(kCalFactorsLoc)},
      {"date", At("Date", kCalRecordDateLoc), m.Date(kCalRecordDateLoc)},
      {"initials", At("Initials", kCalInitialsLoc), m.Text(kCalInitialsLoc, 4)},
      {"valid_bits",
       "Valid-factor bits (" + std::to_string(kCalValidBitsLoc) + ", " +
           std::to_string(kCalValidBitsLoc + 1) + ")",
       m.Bits(kCalValidBitsLoc, 2)},
  };
  if (referenceBoard) {
    s.fields.push_back(
        {"data_revision",
         "Data revision (" + std::to_string(kRevisionWordLoc) + " / 20)",
         static_cast<short>(m.Word(kRevisionWordLoc)) / 20});
    const std::vector<float> refs =
        m.Floats(kCalReferencesLoc, kReferenceValues, 2);
    s.fields.push_back(
        {"references",
         "Reference values (" + std::to_string(kCalReferencesLoc) + "-" +
             std::to_string(kCalReferencesLoc + 2 * kReferenceValues - 1) + ")",
         refs, Joined(refs)});
  }
  return s;
}

BoardSection CalBlock(const Image& m, short b, const char* key,
                      const char* title) {
  BoardSection s{key, At(title, b), {}};
  const std::vector<float> gains =
      m.Floats(b + kBlockGainsOffset, kCalPairs, kCalPairStride);
  const std::vector<float> phases =
      m.Floats(b + kBlockPhasesOffset, kCalPairs, kCalPairStride);
  const short serials = b + kBlockSerialsOffset;
  s.fields = {
      {"revision", "Revision", m.Word(b)},
      {"factors", "Factors", m.Word(b + kBlockFactorsOffset)},
      {"date", "Date", m.Date(b + kBlockDateOffset)},
      {"initials", "Initials", m.Text(b + kBlockInitialsOffset, 4)},
      {"valid_bits", "Valid-factor bits", m.Bits(b + kBlockValidBitsOffset, 2)},
      {"guard_serial", "Guard board serial", m.Long(serials)},
      {"mode_switch_serial", "Mode switch serial", m.Long(serials + 2)},
      {"main_reference_serial", "Main reference serial", m.Long(serials + 4)},
      {"backplane_serial", "Backplane serial", m.Long(serials + 6)},
      {"gains", "Gains", gains, Joined(gains)},
      {"phases", "Phases", phases, Joined(phases)},
  };
  return s;
}

std::string Shown(const BoardField& f) {
  if (!f.shown.empty()) return f.shown;
  if (f.value.is_string()) return f.value.get<std::string>();
  return f.value.dump();
}

}  // namespace

bool InBoardHeader(int loc) {
  return (loc > kWriteCountLoc && loc < kBoardDateLoc + kDateWords) ||
         (loc >= kTransformerSerialLoc && loc < kTransformerSerialLoc + 4) ||
         loc == kRevisionWordLoc;
}

BoardWords ImageWords(IQ7kEeprom* eeprom) {
  BoardWords words{};
  const Image m{eeprom};
  for (int i = 0; i < kBoardWords; ++i) words[i] = m.Word(i);
  return words;
}

bool HasCalibrationRecord(IQ7kEeprom* eeprom, short slot, short subslot) {
  return (slot == 0 && (subslot == 2 || subslot == 3)) ||
         (slot != 0 && Image{eeprom}.Text(kGuardKeyLoc, 4) == kGuardBoardKey);
}

BoardDump DecodeBoard(IQ7kEeprom* eeprom, short slot, short subslot) {
  const Image m{eeprom};
  BoardDump d;
  d.slot = slot;
  d.subslot = subslot;
  d.words = ImageWords(eeprom);
  for (uint16_t w : d.words) d.sum = static_cast<uint16_t>(d.sum + w);
  const bool backplane = slot == 0 && subslot == 0;
  d.sections.push_back(Header(m, backplane));
  if (backplane) {
    d.sections.push_back(
        CalBlock(m, kFactoryBlock, "factory", "Factory calibration"));
    d.sections.push_back(
        CalBlock(m, kFieldBlock, "field", "Field calibration"));
  } else if (HasCalibrationRecord(eeprom, slot, subslot)) {
    d.sections.push_back(CalRecord(m, slot == 0 && subslot == 3));
  }
  return d;
}

nlohmann::json ToJson(const BoardDump& d) {
  nlohmann::json doc = {{"slot", d.slot},
                        {"subslot", d.subslot},
                        {"sum", d.sum},
                        {"consistent", d.sum == 0},
                        {"words", d.words}};
  for (const BoardSection& s : d.sections) {
    nlohmann::json fields = nlohmann::json::object();
    for (const BoardField& f : s.fields) fields[f.key] = f.value;
    doc[s.key] = fields;
  }
  return doc;
}

void PrintBoardDump(const BoardDump& d, std::FILE* out) {
  std::fprintf(out, "Board at slot %d, subslot %d\n", d.slot, d.subslot);
  for (const BoardSection& s : d.sections) {
    std::fprintf(out, "%s\n", s.title.c_str());
    for (const BoardField& f : s.fields) {
      std::fprintf(out, "  %-28s %s\n", f.label.c_str(), Shown(f).c_str());
    }
  }
  std::fprintf(out, "Words (sum 0x%04X: %s)\n", d.sum,
               d.sum == 0 ? "consistent" : "NOT consistent");
  for (int row = 0; row < kBoardWords; row += 8) {
    std::string chars;
    std::fprintf(out, "  %3d:", row);
    for (int i = row; i < row + 8; ++i) {
      std::fprintf(out, " %04X", d.words[i]);
      for (int c : {d.words[i] & 0xFF, d.words[i] >> 8}) {
        chars += std::isprint(c) ? static_cast<char>(c) : '.';
      }
    }
    std::fprintf(out, "  %s\n", chars.c_str());
  }
}

}  // namespace q7k::tool
