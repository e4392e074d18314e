// BoardStore: the EEPROMs of the instrument's boards and the commands that
// read and write them, optionally kept in a directory so that a session
// survives a restart.
//
// Request payloads start with the board address: slot (I2), subslot (I2),
// location (I2, a word index); 0x7E0C sends slot and subslot only.
//   0x7E04 write int: address, word           0x7E06 read int: address
//   0x7E05 write 32:  address, 32 words       0x7E07 read 32:  address
//   0x7E08 write long/float: address, U4      0x7E0A read long: address
//   0x7E09 write float16: address, 16 R4      0x7E0B read float16: address
//   0x7E0C checksum: slot, subslot; reply: the 16-bit sum of the 256 words
// Reads reply with the words (low word first for 32-bit values). A missing
// board is refused NAK 13 with parameter 1 (slot) or, in slot 0, 2
// (subslot); a range outside the 256 words with parameter 3.
// Persistence: one file per board, "board-<slot>-<subslot>.bin", 512 bytes,
// the words little-endian.
//
// Thread safety: none; the owner serialises access.
#ifndef Q7K_EMULATOR_BOARD_STORE_H_
#define Q7K_EMULATOR_BOARD_STORE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "board_inventory.h"
#include "reply.h"

namespace q7k {
namespace emu {

class BoardStore {
 public:
  // Starts with the factory contents of every board.
  BoardStore();

  // The EEPROM commands 0x7E04 to 0x7E0C.
  Reply Handle(uint16_t command, const uint8_t* p, size_t n);

  // The board answering at (slot, subslot); null when none does.
  const EepromWords* Find(int16_t slot, int16_t subslot) const;
  // Replaces a board's words (a test's own starting content); false when no
  // board answers there. Saved when persistence is on.
  bool Replace(int16_t slot, int16_t subslot, const EepromWords& words);

  // Takes the board out of the instrument (a missing or dead board): its
  // address is refused from now on. False when no board answers there.
  bool Remove(int16_t slot, int16_t subslot);

  // From now on the board stores every written word XOR xorMask (a faulty
  // EEPROM); a mask of 0 heals it.
  void SetWriteFault(int16_t slot, int16_t subslot, uint16_t xorMask);

  // Loads the boards saved in dir (a board without a valid file keeps its
  // content and is saved), and saves every later write there. False, with
  // error set, when the directory cannot be created or written.
  bool EnablePersistence(const std::string& dir, std::string* error);
  // Why the last save of a board failed; empty once one worked again.
  const std::string& save_error() const { return saveError_; }

 private:
  using Key = std::pair<int16_t, int16_t>;

  // The key of the board at the address, or false.
  bool KeyOf(int16_t slot, int16_t subslot, Key* key) const;
  // Checks the address of a request for words words; on success *board is
  // the board and *location the first word.
  Reply Locate(const uint8_t* p, size_t n, int words, EepromWords** board,
               int* location, Key* key);
  void Write(const Key& key, EepromWords* board, int location, uint16_t v);
  bool Save(const Key& key, std::string* error) const;
  std::string FileOf(const Key& key) const;

  std::map<Key, EepromWords> boards_;
  std::map<Key, uint16_t> writeFaults_;
  std::string dir_;
  std::string saveError_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_BOARD_STORE_H_
