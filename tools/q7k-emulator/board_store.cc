#include "board_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "link/command_codes.h"
#include "link/le_bytes.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kAddressBytes = 6;
constexpr size_t kImageBytes = 2 * kEepromWords;

}  // namespace

BoardStore::BoardStore() {
  for (const BoardImage& b : InitialBoards()) {
    boards_[{b.slot, b.subslot}] = b.words;
  }
}

bool BoardStore::KeyOf(int16_t slot, int16_t subslot, Key* key) const {
  // Slot 0 tells its boards apart by subslot; the others ignore it.
  *key = {slot, slot == 0 ? subslot : int16_t{0}};
  return boards_.count(*key) != 0;
}

const EepromWords* BoardStore::Find(int16_t slot, int16_t subslot) const {
  Key key;
  if (!KeyOf(slot, subslot, &key)) return nullptr;
  return &boards_.at(key);
}

bool BoardStore::Replace(int16_t slot, int16_t subslot,
                         const EepromWords& words) {
  Key key;
  if (!KeyOf(slot, subslot, &key)) return false;
  boards_[key] = words;
  if (!dir_.empty() && Save(key, &saveError_)) saveError_.clear();
  return true;
}

bool BoardStore::Remove(int16_t slot, int16_t subslot) {
  Key key;
  if (!KeyOf(slot, subslot, &key)) return false;
  boards_.erase(key);
  return true;
}

void BoardStore::SetWriteFault(int16_t slot, int16_t subslot,
                               uint16_t xorMask) {
  Key key;
  KeyOf(slot, subslot, &key);
  if (xorMask == 0) {
    writeFaults_.erase(key);
  } else {
    writeFaults_[key] = xorMask;
  }
}

Reply BoardStore::Locate(const uint8_t* p, size_t n, int words,
                         EepromWords** board, int* location, Key* key) {
  ByteReader r(p, n);
  const int16_t slot = r.I16();
  const int16_t subslot = r.I16();
  const int16_t loc = r.I16();
  if (!KeyOf(slot, subslot, key)) {
    const bool slotHasBoards =
        slot == 0 || boards_.count({slot, int16_t{0}}) != 0;
    return Reply::BadParameter(slotHasBoards ? 2 : 1);
  }
  if (words > 0 && (loc < 0 || loc + words > kEepromWords)) {
    return Reply::BadParameter(3);
  }
  *board = &boards_[*key];
  *location = loc;
  return Reply::Ack();
}

void BoardStore::Write(const Key& key, EepromWords* board, int location,
                       uint16_t v) {
  auto fault = writeFaults_.find(key);
  if (fault != writeFaults_.end()) v ^= fault->second;
  (*board)[location] = v;
}

Reply BoardStore::Handle(uint16_t command, const uint8_t* p, size_t n) {
  int words = 1;
  switch (command) {
    case cmd::kWrite32:
    case cmd::kRead32:
    case cmd::kWriteFloat16:
    case cmd::kReadFloat16:
      words = 32;
      break;
    case cmd::kWriteLong:
    case cmd::kReadLong:
      words = 2;
      break;
    case cmd::kChecksum:
      words = 0;
      break;
    default:
      break;
  }
  EepromWords* board = nullptr;
  int location = 0;
  Key key;
  Reply check = Locate(p, n, words, &board, &location, &key);
  if (!check.IsAck()) return check;

  std::vector<uint8_t> data;
  ByteWriter out(&data);
  const bool write = command == cmd::kWriteInt || command == cmd::kWrite32 ||
                     command == cmd::kWriteLong ||
                     command == cmd::kWriteFloat16;
  if (command == cmd::kChecksum) {
    out.U16(WordSum(*board));
  } else if (write) {
    ByteReader in(p + kAddressBytes, n - kAddressBytes);
    for (int i = 0; i < words; ++i) Write(key, board, location + i, in.U16());
    if (!dir_.empty() && Save(key, &saveError_)) saveError_.clear();
  } else {
    for (int i = 0; i < words; ++i) out.U16((*board)[location + i]);
  }
  return Reply::Ack(data);
}

std::string BoardStore::FileOf(const Key& key) const {
  return dir_ + "/board-" + std::to_string(key.first) + "-" +
         std::to_string(key.second) + ".bin";
}

bool BoardStore::Save(const Key& key, std::string* error) const {
  std::vector<uint8_t> bytes;
  ByteWriter w(&bytes);
  for (uint16_t v : boards_.at(key)) w.U16(v);
  const std::string file = FileOf(key);
  const std::string temp = file + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      *error = "cannot write " + temp;
      return false;
    }
  }
  // Renamed into place so that a crash never leaves half a board behind.
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    *error = "cannot rename " + temp + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool BoardStore::EnablePersistence(const std::string& dir, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir)) {
    *error = "cannot use board directory " + dir;
    return false;
  }
  dir_ = dir;
  for (auto& [key, words] : boards_) {
    std::ifstream in(FileOf(key), std::ios::binary);
    std::vector<char> bytes(kImageBytes + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() == static_cast<std::streamsize>(kImageBytes)) {
      ByteReader r(reinterpret_cast<const uint8_t*>(bytes.data()), kImageBytes);
      for (uint16_t& v : words) v = r.U16();
    } else if (!Save(key, error)) {
      dir_.clear();
      return false;
    }
  }
  return true;
}

}  // namespace emu
}  // namespace q7k
