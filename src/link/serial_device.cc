#include "link/serial_device.h"

#include <algorithm>

#include "link/link_errors.h"
#include "resources/string_ids.h"

namespace q7k {

SerialDevice::~SerialDevice() = default;

int32_t SerialDevice::SendBreak(int32_t) { return kPortNotSupported; }
int32_t SerialDevice::Peek(uint8_t*, int32_t) { return kPortNotSupported; }
int32_t SerialDevice::ReceiveOverflow(int32_t) { return kPortNotSupported; }
int32_t SerialDevice::SetXonXoff(int32_t) { return kPortNotSupported; }
int32_t SerialDevice::SetCtsHandshake(int32_t) { return kPortNotSupported; }
int32_t SerialDevice::SetDsrHandshake(int32_t) { return kPortNotSupported; }
int32_t SerialDevice::SetDtr(int32_t) { return kPortNotSupported; }
int32_t SerialDevice::SetRts(int32_t) { return kPortNotSupported; }
int32_t SerialDevice::RxFree() { return kPortNotSupported; }
int32_t SerialDevice::TxCount() { return kPortNotSupported; }
int32_t SerialDevice::Reserved() { return 0; }
int32_t SerialDevice::PurgeTx() { return kPortNotSupported; }

int32_t SerialDevice::PurgeRx() {
  // Asking only for what is waiting keeps a device whose Read fails on a
  // short delivery from failing just because the input ran dry.
  uint8_t block[32 + 1];
  for (;;) {
    const int32_t waiting = RxCount();
    if (waiting <= 0) return 0;
    const int32_t r = Read(block, std::min<int32_t>(waiting, 32));
    if (r != 0) return r;
  }
}

int32_t SerialDevice::ErrorMessageId(int32_t code) {
  return StatusMessageId(code);
}

}  // namespace q7k
