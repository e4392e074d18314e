// Fuzzes the EEPROM image accessors with arbitrary locations, sizes and
// texts, as a client may pass them: nothing may reach outside the 256
// words, and a refused call must leave the image as it was.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "eeprom/eeprom_image.h"
#include "link/le_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  q7k::EepromImage image;
  q7k::ByteReader in(data, size);
  while (in.remaining() >= 5) {
    const uint8_t op = in.U8();
    const int16_t i = in.I16();
    const int16_t n = in.I16();
    const std::string text = in.Text(in.U8() % 80);
    const q7k::EepromImage before = image;
    bool changed = true;
    int16_t s = 0;
    int32_t l = 0;
    float f = 0;
    std::string out;
    switch (op % 11) {
      case 0:
        changed = image.PutInt(i, n);
        break;
      case 1:
        changed = image.PutLong(i, static_cast<int32_t>(uint16_t(n) * 65599u));
        break;
      case 2:
        changed = image.PutFloat(i, static_cast<float>(n));
        break;
      case 3:
        changed = image.PutChars(i, n, text);
        break;
      case 4:
        changed = image.PutDate(i, text);
        break;
      case 5:
        image.GetInt(i, &s);
        changed = false;
        break;
      case 6:
        image.GetLong(i, &l);
        image.GetFloat(i, &f);
        changed = false;
        break;
      case 7:
        if (image.GetChars(i, n, &out) && out.size() > 63) std::abort();
        changed = false;
        break;
      case 8:
        if (image.GetDate(i, &out) && out.size() > 8) std::abort();
        changed = false;
        break;
      case 9:
        if (image.ValidBits(i, &s) && (s < 0 || s > 96)) std::abort();
        changed = false;
        break;
      default:
        q7k::CharsWord(text);
        q7k::WordChars(static_cast<uint16_t>(n));
        changed = false;
        break;
    }
    if (!changed && image.words() != before.words()) std::abort();
  }
  return 0;
}
