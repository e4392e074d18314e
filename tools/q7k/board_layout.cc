#include "board_layout.h"

#include <bitset>
#include <cctype>

namespace q7k::tool {
namespace {

constexpr short kFactoryBlock = 64;
constexpr short kFieldBlock = 164;
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

BoardSection Header(const Image& m, bool backplane) {
  BoardSection s{"header", "Board header", {}};
  s.fields = {
      {"signature", "Signature (0)", m.Word(0), Hex(m.Word(0))},
      {"write_count", "Write count (1)", m.Word(1)},
      {"part_number", "Part number (3)", m.Text(3, 12)},
      {"revision", "Revision (9)", m.Text(9, 4)},
      {"name", "Name (11)", m.Text(11, 32)},
      {"serial", "Assembly serial (27)", m.Long(27)},
      {"mnemonic", "Mnemonic (29)", m.Text(29, 8)},
      {"date", "Board date (33)", m.Date(33)},
      {"revision_word", "Revision word (50)", m.Word(50)},
  };
  if (backplane) {
    s.fields.push_back(
        {"transformer_serial", "Transformer serial (40)", m.Text(40, 8)});
    s.fields.push_back(
        {"instrument_serial", "Instrument serial (52)", m.Long(52)});
  }
  return s;
}

BoardSection CalRecord(const Image& m, bool referenceBoard) {
  BoardSection s{"calibration", "Calibration record", {}};
  s.fields = {
      {"factors", "Factors (51)", m.Word(51)},
      {"date", "Date (52)", m.Date(52)},
      {"initials", "Initials (55)", m.Text(55, 4)},
      {"valid_bits", "Valid-factor bits (58, 59)", m.Bits(58, 2)},
  };
  if (referenceBoard) {
    s.fields.push_back({"data_revision", "Data revision (50 / 20)",
                        static_cast<short>(m.Word(50)) / 20});
    const std::vector<float> refs = m.Floats(64, 6, 2);
    s.fields.push_back(
        {"references", "Reference values (64-75)", refs, Joined(refs)});
  }
  return s;
}

BoardSection CalBlock(const Image& m, short b, const char* key,
                      const char* title) {
  BoardSection s{key, title, {}};
  const std::vector<float> gains = m.Floats(b + 24, 10, 4);
  const std::vector<float> phases = m.Floats(b + 26, 10, 4);
  s.fields = {
      {"revision", "Revision", m.Word(b)},
      {"factors", "Factors", m.Word(b + 1)},
      {"date", "Date", m.Date(b + 2)},
      {"initials", "Initials", m.Text(b + 5, 4)},
      {"valid_bits", "Valid-factor bits", m.Bits(b + 8, 2)},
      {"guard_serial", "Guard board serial", m.Long(b + 16)},
      {"mode_switch_serial", "Mode switch serial", m.Long(b + 18)},
      {"main_reference_serial", "Main reference serial", m.Long(b + 20)},
      {"backplane_serial", "Backplane serial", m.Long(b + 22)},
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

BoardWords ImageWords(IQ7kEeprom* eeprom) {
  BoardWords words{};
  const Image m{eeprom};
  for (int i = 0; i < kBoardWords; ++i) words[i] = m.Word(i);
  return words;
}

bool HasCalibrationRecord(IQ7kEeprom* eeprom, short slot, short subslot) {
  return (slot == 0 && (subslot == 2 || subslot == 3)) ||
         (slot != 0 && Image{eeprom}.Text(5, 4) == kGuardBoardKey);
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
        CalBlock(m, kFactoryBlock, "factory", "Factory calibration (64)"));
    d.sections.push_back(
        CalBlock(m, kFieldBlock, "field", "Field calibration (164)"));
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
