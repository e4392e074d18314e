// eeprom: a board's EEPROM: dump it decoded, or change values through the
// safe update protocol, which keeps the board's sum at 0 and proves every
// word written.
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "board_layout.h"
#include "tool.h"

namespace q7k::tool {
namespace {

struct Board {
  int slot = 0;
  int subslot = 0;
};

struct SetOptions {
  Board board;
  int serial = -1;  // -1: unchanged
  std::string boardDate;
  std::string calDate;
  std::string block = "field";
  std::vector<std::string> words;  // "LOC=VALUE"
};

bool ParseNumber(const std::string& text, long min, long max, long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 0);
  if (*end != '\0' || v < min || v > max) return false;
  *out = v;
  return true;
}

// LOC=VALUE with LOC 0..254 but not the write count, VALUE a 16-bit word.
std::string CheckWordEdit(std::string& edit) {
  const size_t eq = edit.find('=');
  long loc = 0, value = 0;
  if (eq == std::string::npos ||
      !ParseNumber(edit.substr(0, eq), 0, 255, &loc) ||
      !ParseNumber(edit.substr(eq + 1), -32768, 65535, &value)) {
    return "'" + edit + "' is not LOC=VALUE (location 0-255, value 0-65535)";
  }
  if (loc == kWriteCountLoc || loc == kChecksumLoc) {
    return "location " + std::to_string(loc) +
           " (write count or checksum word) is kept by the safe update";
  }
  return {};
}

// A day first (13/05/24) would otherwise go onto the board as it is.
std::string CheckDate(std::string& date) {
  // Two digits at `at`, or -1.
  const auto number = [&date](size_t at) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return digit(date[at]) && digit(date[at + 1])
               ? (date[at] - '0') * 10 + (date[at + 1] - '0')
               : -1;
  };
  const bool ok = date.size() == 8 && date[2] == '/' && date[5] == '/' &&
                  number(0) >= 1 && number(0) <= 12 && number(3) >= 1 &&
                  number(3) <= 31 && number(6) >= 0;
  return ok ? std::string() : "'" + date + "' is not a date MM/DD/YY";
}

void AddBoard(CLI::App* cmd, Board* board) {
  cmd->add_option("SLOT", board->slot,
                  "Slot 0-8 (slot 0 holds the backplane and, by subslot, "
                  "three more boards)")
      ->required()
      ->check(CLI::Range(0, 8));
  cmd->add_option("SUBSLOT", board->subslot, "Subslot 0-3")
      ->required()
      ->check(CLI::Range(0, 3));
}

// Reads the board into the image; false after Fail().
bool ReadBoard(Tool& tool, const Board& b) {
  if (tool.Eeprom() == nullptr || !tool.OpenPort()) return false;
  if (FAILED(tool.Eeprom()->ReadContents(static_cast<short>(b.slot),
                                         static_cast<short>(b.subslot)))) {
    tool.Fail("ReadContents");
    return false;
  }
  return true;
}

int Dump(Tool& tool, const Board& b) {
  if (!ReadBoard(tool, b)) return kExitFailed;
  const BoardDump dump = DecodeBoard(tool.Eeprom(), static_cast<short>(b.slot),
                                     static_cast<short>(b.subslot));
  tool.Component()->ClosePort();
  if (tool.json()) {
    tool.PrintJson(ToJson(dump));
  } else {
    PrintBoardDump(dump, stdout);
  }
  return kExitOk;
}

// The edits go into the image first; every changed word then reaches the
// board through the safe write that covers it.
int Set(Tool& tool, const SetOptions& o) {
  const short slot = static_cast<short>(o.board.slot);
  const short subslot = static_cast<short>(o.board.subslot);
  if (o.serial < 0 && o.boardDate.empty() && o.calDate.empty() &&
      o.words.empty()) {
    std::fprintf(stderr,
                 "q7k: eeprom set needs a value to change: --serial, "
                 "--board-date, --cal-date or --word\n");
    return kExitUsage;
  }
  const bool backplane = slot == 0 && subslot == 0;
  const short block = o.block == "factory" ? kFactoryBlock : kFieldBlock;
  if (!ReadBoard(tool, o.board)) return kExitFailed;
  IQ7kEeprom* e = tool.Eeprom();
  if (!o.calDate.empty() && !backplane &&
      !HasCalibrationRecord(e, slot, subslot)) {
    tool.Component()->ClosePort();
    return tool.FailWith("the board at slot " + std::to_string(slot) +
                         ", subslot " + std::to_string(subslot) +
                         " keeps no calibration date");
  }
  const BoardWords before = ImageWords(e);
  if (o.serial >= 0) e->put_ValLong(kSerialLoc, o.serial);
  if (!o.boardDate.empty()) {
    e->put_ValDate(kBoardDateLoc, Bstr::FromUtf8(o.boardDate).get());
  }
  if (!o.calDate.empty()) {
    const short at = backplane ? block + kBlockDateOffset : kCalRecordDateLoc;
    e->put_ValDate(at, Bstr::FromUtf8(o.calDate).get());
  }
  for (const std::string& edit : o.words) {
    const size_t eq = edit.find('=');
    e->put_ValInt(
        static_cast<short>(std::strtol(edit.c_str(), nullptr, 0)),
        static_cast<short>(std::strtol(edit.c_str() + eq + 1, nullptr, 0)));
  }
  const BoardWords after = ImageWords(e);

  bool header = false;
  std::set<short> calHeaders;  // bases of the blocks changed
  std::vector<short> singles;
  nlohmann::json changed = nlohmann::json::array();
  for (short loc = 0; loc < kBoardWords; ++loc) {
    if (before[loc] == after[loc]) continue;
    changed.push_back(
        {{"location", loc}, {"old", before[loc]}, {"new", after[loc]}});
    const short base = loc >= kFieldBlock ? kFieldBlock : kFactoryBlock;
    if (InBoardHeader(loc)) {
      header = true;
    } else if (backplane && loc >= base && loc < base + kCalHeaderWords) {
      calHeaders.insert(base);
    } else {
      singles.push_back(loc);
    }
  }
  std::vector<std::string> writes;
  if (header) {
    if (FAILED(e->SafeWriteBoardHeader(slot, subslot))) {
      return tool.Fail("SafeWriteBoardHeader");
    }
    writes.push_back("SafeWriteBoardHeader");
  }
  for (short base : calHeaders) {
    const short calType = base == kFactoryBlock ? 1 : 0;
    if (FAILED(e->SafeWriteCalHeader(slot, subslot, calType))) {
      return tool.Fail("SafeWriteCalHeader");
    }
    writes.push_back("SafeWriteCalHeader");
  }
  for (short loc : singles) {
    if (FAILED(e->SafeWriteInt(slot, subslot, loc,
                               static_cast<short>(after[loc])))) {
      return tool.Fail("SafeWriteInt");
    }
    writes.push_back("SafeWriteInt " + std::to_string(loc));
  }
  // Read back even when nothing was written: scripts take it as the
  // board's count either way.
  short writeCount = 0;
  if (FAILED(e->ReadInt(slot, subslot, kWriteCountLoc, &writeCount))) {
    return tool.Fail("ReadInt");
  }
  tool.Component()->ClosePort();
  if (tool.json()) {
    tool.PrintJson({{"changed", changed},
                    {"writes", writes},
                    {"write_count", static_cast<uint16_t>(writeCount)}});
    return kExitOk;
  }
  if (writes.empty()) {
    std::printf("Nothing to change: the board holds these values already\n");
    return kExitOk;
  }
  for (const auto& c : changed) {
    std::printf("  location %3d: 0x%04X -> 0x%04X\n", c["location"].get<int>(),
                c["old"].get<int>(), c["new"].get<int>());
  }
  for (const std::string& w : writes) std::printf("%-24s ok\n", w.c_str());
  std::printf("Write count now %u; the board sums to 0\n",
              static_cast<uint16_t>(writeCount));
  return kExitOk;
}

}  // namespace

Q7K_COMMAND(eeprom, 50) {
  auto* eeprom =
      parent->add_subcommand("eeprom", "Read and change a board's EEPROM");
  eeprom->require_subcommand(1);

  auto dumpBoard = std::make_shared<Board>();
  auto* dump = eeprom->add_subcommand(
      "dump",
      "Read a board's EEPROM: the decoded header, its calibration record or "
      "blocks, and all 256 words in hex with their characters");
  AddBoard(dump, dumpBoard.get());

  auto set = std::make_shared<SetOptions>();
  auto* change = eeprom->add_subcommand(
      "set",
      "Change values on a board through the safe update protocol: each "
      "word is read back, and the write count and checksum word are kept "
      "so that the board still sums to 0");
  AddBoard(change, &set->board);
  change
      ->add_option("--serial", set->serial,
                   "Assembly serial number (locations 27-28)")
      ->check(CLI::Range(0, 2147483647));
  change
      ->add_option("--board-date", set->boardDate,
                   "Board date MM/DD/YY (locations 33-35)")
      ->check(CLI::Validator(CheckDate, "MM/DD/YY"));
  change
      ->add_option("--cal-date", set->calDate,
                   "Calibration date MM/DD/YY: the board's calibration "
                   "record (52-54), or on the backplane the --block's date")
      ->check(CLI::Validator(CheckDate, "MM/DD/YY"));
  change
      ->add_option("--block", set->block,
                   "Backplane calibration block for --cal-date: factory "
                   "(64) or field (164)")
      ->check(CLI::IsMember({"factory", "field"}))
      ->capture_default_str();
  change
      ->add_option("--word", set->words,
                   "One word: LOC=VALUE, location and value in decimal or "
                   "0x hex (repeatable)")
      ->check(CLI::Validator(CheckWordEdit, "LOC=VALUE"));
  return {
      Runner(dump, [dumpBoard](Tool& tool) { return Dump(tool, *dumpBoard); }),
      Runner(change, [set](Tool& tool) { return Set(tool, *set); })};
}

}  // namespace q7k::tool
