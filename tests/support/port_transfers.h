// Bytes through a CommPort on either of its paths, bounded by a deadline
// long enough for a loaded machine, and a test stream to send.
//
// Thread safety: as the port's own calls.
#ifndef Q7K_TESTS_SUPPORT_PORT_TRANSFERS_H_
#define Q7K_TESTS_SUPPORT_PORT_TRANSFERS_H_

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/comm_port.h"

namespace q7k {

using Bytes = std::vector<uint8_t>;

inline constexpr std::chrono::milliseconds kPortDeadline{10000};

// A test stream from byte `first` on; it never holds the same byte twice in
// a row.
inline uint8_t StreamByte(size_t i) {
  return static_cast<uint8_t>(i * 13 + i / 256);
}
inline Bytes Stream(size_t first, size_t n) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = StreamByte(first + i);
  return bytes;
}

// Takes exactly count bytes from the port's queue; fewer when they stop
// coming or a read fails.
inline Bytes ReadExactly(CommPort& port, size_t count) {
  Bytes got;
  Bytes block(kPortQueueCapacity + 1);
  while (got.size() < count && port.WaitForRx(0, kPortDeadline)) {
    const int32_t n = std::min<int32_t>(
        port.RxCount(), static_cast<int32_t>(count - got.size()));
    if (port.Read(block.data(), n) != 0) break;
    got.insert(got.end(), block.begin(), block.begin() + n);
  }
  return got;
}

// Sends bytes on the client-thread path and takes up to got->size() bytes
// back, got shrinking to what came; the port's status at the end.
inline int32_t ExchangeDirect(CommPort& port, const Bytes& bytes, Bytes* got) {
  port.WriteDirect(bytes.data(), static_cast<int32_t>(bytes.size()));
  const auto deadline = std::chrono::steady_clock::now() + kPortDeadline;
  size_t have = 0;
  while (have < got->size() && port.status() == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    have +=
        port.ReadDirect(got->data() + have, got->size() - have, deadline).count;
  }
  got->resize(have);
  return port.status();
}

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_PORT_TRANSFERS_H_
