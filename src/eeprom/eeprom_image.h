// EepromImage: the component's in-memory copy of one board EEPROM and the
// Checksum value the client reads and sets. The accessors take locations and
// sizes straight from the client: any range that leaves the 256 words is
// refused (false) and touches nothing. Texts are 8-bit (ANSI) strings.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_EEPROM_IMAGE_H_
#define Q7K_EEPROM_EEPROM_IMAGE_H_

#include <array>
#include <cstdint>
#include <string>

#include "eeprom/board_layout.h"

namespace q7k {

class EepromImage {
 public:
  using Words = std::array<uint16_t, board::kWords>;

  // All words and the Checksum 0 (also the state after construction).
  void Clear();

  Words& words() { return words_; }
  const Words& words() const { return words_; }
  int16_t checksum() const { return checksum_; }
  void set_checksum(int16_t v) { checksum_ = v; }

  bool GetInt(int i, int16_t* out) const;
  bool PutInt(int i, int16_t v);
  // Words i and i + 1, low word first.
  bool GetLong(int i, int32_t* out) const;
  bool PutLong(int i, int32_t v);
  bool GetFloat(int i, float* out) const;
  bool PutFloat(int i, float v);
  // Up to nMax (0..63) characters from byte 2i, ending at the first NUL.
  bool GetChars(int i, int nMax, std::string* out) const;
  // Exactly nMax bytes from byte 2i: the text cut to nMax, NUL-padded. An
  // empty text is refused.
  bool PutChars(int i, int nMax, const std::string& text);
  // "MM/DD/YY" from words i..i+2, ending at the first NUL.
  bool GetDate(int i, std::string* out) const;
  // Characters 1-2, 4-5 and 7-8 of text into words i..i+2; a text shorter
  // than 8 characters is refused.
  bool PutDate(int i, const std::string& text);
  // The 1 bits of words i..i+5; i within 0..250.
  bool ValidBits(int i, int16_t* out) const;

 private:
  uint8_t Byte(int b) const;
  void SetByte(int b, uint8_t c);

  Words words_{};
  int16_t checksum_ = 0;
};

// The 16-bit sum of all words; 0 for a consistent EEPROM.
uint16_t WordSum(const EepromImage::Words& words);
// The number of 1 bits of a word.
int OnesIn(uint16_t word);
// A word's characters: the low byte, then the high byte, ending at a NUL.
std::string WordChars(uint16_t word);
// The first two characters of text, the first in the low byte; missing ones
// count as 0.
uint16_t CharsWord(const std::string& text);
// Two words, low first, as one 32-bit value.
uint32_t JoinWords(uint16_t low, uint16_t high);
// A float's bit pattern as two words, low first, and back.
void SplitFloat(float value, uint16_t* low, uint16_t* high);
float JoinFloat(uint16_t low, uint16_t high);

}  // namespace q7k

#endif  // Q7K_EEPROM_EEPROM_IMAGE_H_
