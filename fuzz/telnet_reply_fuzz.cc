// What a device server sends, cut into arbitrary pieces, through the Telnet
// decoder: nothing may crash and data never outgrows its input. The whole
// input, escaped as the port sends data, decodes back unchanged even when
// it arrives one byte at a time.
//
// Input: blocks, each a length byte (taken modulo 32) followed by that many
// received bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/telnet_codec.h"

namespace q7k {
namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

class Sink : public TelnetEvents {
 public:
  void OnNegotiation(uint8_t verb, uint8_t) override {
    Check(verb >= telnet::kWill && verb <= telnet::kDont);
  }
  void OnComPort(uint8_t, const uint8_t* value, size_t n) override {
    Check(n + 2 <= TelnetDecoder::kMaxSubnegotiation);
    for (size_t i = 0; i < n; ++i) sum_ += value[i];
  }
  volatile uint32_t sum_ = 0;
};

}  // namespace
}  // namespace q7k

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace q7k;
  TelnetDecoder decoder;
  Sink sink;
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < size) {
    const size_t n = std::min<size_t>(data[i] % 32, size - i - 1);
    const size_t before = out.size();
    decoder.Feed(data + i + 1, n, &out, &sink);
    Check(out.size() - before <= n);
    i += 1 + n;
  }
  std::vector<uint8_t> encoded;
  AppendTelnetData(data, size, &encoded);
  TelnetDecoder fresh;
  out.clear();
  for (const uint8_t b : encoded) fresh.Feed(&b, 1, &out, &sink);
  Check(out == std::vector<uint8_t>(data, data + size));
  return 0;
}
