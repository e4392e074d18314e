#include "link/serial_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "link/link_errors.h"

namespace q7k {
namespace {

// The least a device must provide: a receive buffer that Read drains, and
// a status that a short Read sets, as a port does.
class MinimalDevice : public SerialDevice {
 public:
  std::vector<uint8_t> input;
  std::vector<int32_t> readSizes;
  int32_t status = 0;

  int32_t Read(uint8_t* buffer, int32_t max) override {
    readSizes.push_back(max);
    const size_t n = std::min(input.size(), static_cast<size_t>(max));
    std::copy(input.begin(), input.begin() + n, buffer);
    buffer[n] = 0;
    input.erase(input.begin(), input.begin() + n);
    if (static_cast<int32_t>(n) < max && status == 0) status = -98;
    return status;
  }
  int32_t Write(const uint8_t*, int32_t) override { return 0; }
  int32_t ReadByte() override { return 0; }
  int32_t WriteByte(uint8_t) override { return 0; }
  int32_t Configure(int32_t, int32_t, int32_t, int32_t) override { return 0; }
  int32_t TxFree() override { return 0; }
  int32_t RxCount() override { return static_cast<int32_t>(input.size()); }
  int32_t CarrierDetect() override { return 0; }
  int32_t RingIndicator() override { return 0; }
  int32_t ClearToSend() override { return 0; }
  int32_t DataSetReady() override { return 0; }
  int32_t ParityError(int32_t) override { return 0; }
  int32_t BreakDetected(int32_t) override { return 0; }
  int32_t FramingError(int32_t) override { return 0; }
  int32_t OverrunError(int32_t) override { return 0; }
};

// Asking only for what is waiting drains the input without tripping the
// device's short-read failure; a failing read ends the purge.
TEST(SerialDeviceTest, DefaultPurgeRxReadsWaitingBytesInBlocksOf32) {
  MinimalDevice device;
  device.input.assign(70, 0xAA);
  EXPECT_EQ(device.PurgeRx(), 0);
  EXPECT_TRUE(device.input.empty());
  EXPECT_EQ(device.readSizes, (std::vector<int32_t>{32, 32, 6}));
  EXPECT_EQ(device.status, 0);
  EXPECT_EQ(device.PurgeRx(), 0);  // nothing waiting: no read at all
  EXPECT_EQ(device.readSizes.size(), 3u);
  device.input.assign(5, 1);
  device.status = kPortOsError;
  EXPECT_EQ(device.PurgeRx(), kPortOsError);
}

TEST(SerialDeviceTest, ErrorMessageIds) {
  MinimalDevice device;
  const std::pair<int32_t, int32_t> ids[] = {
      {0, 7424},   {-95, 7429}, {-96, 7430},  {-97, 7431},
      {-98, 7432}, {-99, 7433}, {-198, 7428}, {-199, 7427}};
  for (const auto& [code, id] : ids) {
    EXPECT_EQ(device.ErrorMessageId(code), id) << code;
  }
  for (int32_t other : {1, 14, -1, -33, -94, -100, -195, -196, -197, -200}) {
    EXPECT_EQ(device.ErrorMessageId(other), 7425) << other;
  }
}

}  // namespace
}  // namespace q7k
