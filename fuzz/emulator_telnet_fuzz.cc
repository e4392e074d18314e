// The emulator's Telnet parser and com-port answers on arbitrary client
// bytes cut into arbitrary blocks: nothing may crash, every answer must be a
// whole Telnet command, and the data may never outgrow what came in. Then
// the same bytes taken as data: escaped and fed in the same blocks, they
// must come back exactly, with no command seen.
//
// Input: blocks, each a length byte (taken modulo 64) followed by that many
// bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "com_port_server.h"
#include "telnet_parser.h"

namespace q7k {
namespace emu {
namespace {

struct Checker : ComPortServer::Events {
  size_t data = 0;
  void OnLineData(const uint8_t*, size_t n) override { data += n; }
  void OnReply(const std::vector<uint8_t>& b) override {
    if (b.size() < 3 || b[0] != telnet::kIac) std::abort();
    if (b[1] == telnet::kSb &&
        (b[b.size() - 2] != telnet::kIac || b.back() != telnet::kSe)) {
      std::abort();
    }
  }
  void OnPurge(uint8_t which) override {
    if (which < 1 || which > 3) std::abort();
  }
  void OnBreak(bool) override {}
};

struct Collector : TelnetParser::Handler {
  std::vector<uint8_t> data;
  void OnData(const uint8_t* p, size_t n) override {
    data.insert(data.end(), p, p + n);
  }
  void OnNegotiation(uint8_t, uint8_t) override { std::abort(); }
  void OnSubnegotiation(uint8_t, const uint8_t*, size_t) override {
    std::abort();
  }
};

// Calls feed(block) for each block of input; returns the bytes fed.
template <typename F>
std::vector<uint8_t> Blocks(const uint8_t* in, size_t n, F feed) {
  std::vector<uint8_t> all;
  size_t i = 0;
  while (i < n) {
    const size_t len = std::min<size_t>(in[i] % 64, n - i - 1);
    feed(in + i + 1, len);
    all.insert(all.end(), in + i + 1, in + i + 1 + len);
    i += 1 + len;
  }
  return all;
}

}  // namespace
}  // namespace emu
}  // namespace q7k

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t n) {
  using namespace q7k::emu;
  Checker checker;
  ComPortServer server(in != nullptr && n > 0 ? in[0] * 1000u : 0, &checker);
  const std::vector<uint8_t> fed =
      Blocks(in, n, [&](const uint8_t* p, size_t len) { server.Feed(p, len); });
  if (checker.data > fed.size()) std::abort();

  std::vector<uint8_t> escaped;
  q7k::AppendTelnetData(fed.data(), fed.size(), &escaped);
  TelnetParser parser;
  Collector collector;
  size_t at = 0;
  Blocks(in, n, [&](const uint8_t*, size_t len) {
    // The escaped stream cut at the same offsets, scaled to its length.
    const size_t take = std::min(escaped.size() - at, len * 2);
    parser.Feed(escaped.data() + at, take, &collector);
    at += take;
  });
  parser.Feed(escaped.data() + at, escaped.size() - at, &collector);
  if (collector.data != fed) std::abort();
  return 0;
}
