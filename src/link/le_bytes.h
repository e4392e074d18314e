// Little-endian readers and writers for payloads, records on the wire and
// EEPROM words. Floats travel as their IEEE 754 single-precision bit pattern.
//
// Thread safety: pure functions.
#ifndef Q7K_LINK_LE_BYTES_H_
#define Q7K_LINK_LE_BYTES_H_

#include <cstdint>
#include <cstring>
#include <vector>

namespace q7k {

inline uint16_t LoadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline int16_t LoadI16(const uint8_t* p) {
  return static_cast<int16_t>(LoadU16(p));
}
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
         (uint32_t{p[3]} << 24);
}
inline int32_t LoadI32(const uint8_t* p) {
  return static_cast<int32_t>(LoadU32(p));
}
inline float LoadF32(const uint8_t* p) {
  const uint32_t bits = LoadU32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Appends values to a payload under construction.
class PayloadWriter {
 public:
  PayloadWriter& U16(uint32_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  PayloadWriter& U32(uint32_t v) {
    U16(v & 0xFFFF);
    return U16(v >> 16);
  }
  PayloadWriter& F32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return U32(bits);
  }
  PayloadWriter& Bytes(const uint8_t* p, size_t n) {
    bytes_.insert(bytes_.end(), p, p + n);
    return *this;
  }
  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace q7k

#endif  // Q7K_LINK_LE_BYTES_H_
