// Transfer results: the bytes a read or a write moved and, apart from them,
// whether it failed and why, so that no caller tells a count from an error
// by its sign.
//
// Thread safety: plain values.
#ifndef Q7K_LINK_TRANSFER_H_
#define Q7K_LINK_TRANSFER_H_

#include <cstddef>
#include <cstdint>

#include "link/link_errors.h"

namespace q7k {

// A read or write on the device itself. count 0 without a failure: the
// device would have blocked.
struct DeviceTransfer {
  size_t count = 0;
  bool failed = false;
  uint32_t osError = 0;  // with failed: the operating system's code
};

// A read through the port. status is the port's (0 while healthy, else the
// LinkErrorNumber of its first failure); count is what was taken even then.
struct PortTransfer {
  size_t count = 0;
  int32_t status = kLinkOk;

  bool failed() const { return status != kLinkOk; }
};

}  // namespace q7k

#endif  // Q7K_LINK_TRANSFER_H_
