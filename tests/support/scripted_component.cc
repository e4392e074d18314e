#include "support/scripted_component.h"

#include <cstring>

namespace q7k {

Bytes LeF32(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return Le32(bits);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace q7k
