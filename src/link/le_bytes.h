// Little-endian readers and writers for payloads, records on the wire and
// EEPROM words, shared by the library and the virtual instrument. Floats
// travel as their IEEE 754 single-precision bit pattern. Values are moved
// byte by byte, never by casting a struct onto the bytes.
//
// Thread safety: the functions are pure; a reader or writer belongs to one
// payload.
#ifndef Q7K_LINK_LE_BYTES_H_
#define Q7K_LINK_LE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
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

// Appends little-endian values to a byte vector it does not own.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>* out) : out_(out) {}

  void U8(uint8_t v) { out_->push_back(v); }
  void U16(uint16_t v) {
    out_->push_back(static_cast<uint8_t>(v));
    out_->push_back(static_cast<uint8_t>(v >> 8));
  }
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U32(bits);
  }
  void Bytes(const uint8_t* p, size_t n) {
    out_->insert(out_->end(), p, p + n);
  }
  // Exactly width bytes: the text, cut or padded with pad.
  void Text(const std::string& text, size_t width, uint8_t pad = 0) {
    for (size_t i = 0; i < width; ++i) {
      U8(i < text.size() ? static_cast<uint8_t>(text[i]) : pad);
    }
  }
  void Zeros(size_t n) { out_->insert(out_->end(), n, 0); }

 private:
  std::vector<uint8_t>* out_;
};

// Reads little-endian values from a byte range it does not own. A read past
// the end yields 0 and marks the reader as overrun instead of reading on.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t U8() { return Has(1) ? data_[pos_++] : 0; }
  uint16_t U16() {
    if (!Has(2)) return 0;
    const uint16_t v = LoadU16(data_ + pos_);
    pos_ += 2;
    return v;
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() {
    if (!Has(4)) return 0;
    uint32_t lo = U16();
    uint32_t hi = U16();
    return lo | (hi << 16);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32() {
    uint32_t bits = U32();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  // n raw bytes (fewer when the range ends first).
  std::string Text(size_t n) {
    size_t take = Has(n) ? n : size_ - pos_;
    std::string s(reinterpret_cast<const char*>(data_ + pos_), take);
    pos_ += take;
    if (take < n) overrun_ = true;
    return s;
  }

  size_t remaining() const { return size_ - pos_; }
  bool overrun() const { return overrun_; }

 private:
  bool Has(size_t n) {
    if (size_ - pos_ >= n) return true;
    overrun_ = true;
    pos_ = size_;
    return false;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool overrun_ = false;
};

// Appends values to a payload under construction, which it owns.
class PayloadWriter {
 public:
  PayloadWriter& U16(uint32_t v) {
    Writer().U16(static_cast<uint16_t>(v));
    return *this;
  }
  PayloadWriter& U32(uint32_t v) {
    Writer().U32(v);
    return *this;
  }
  PayloadWriter& F32(float f) {
    Writer().F32(f);
    return *this;
  }
  PayloadWriter& Bytes(const uint8_t* p, size_t n) {
    Writer().Bytes(p, n);
    return *this;
  }
  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  ByteWriter Writer() { return ByteWriter(&bytes_); }
  std::vector<uint8_t> bytes_;
};

}  // namespace q7k

#endif  // Q7K_LINK_LE_BYTES_H_
