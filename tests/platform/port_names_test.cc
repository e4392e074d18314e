#include "platform/port_names.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "q7kcomm/host.h"

namespace q7k {
namespace {

// Leaves the process-wide mapping and the environment as it found them.
class PortNamesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetSerialPortPath(3, "");
    unsetenv("Q7K_COM3");
  }
};

TEST_F(PortNamesTest, ParsesBuiltNamesOnly) {
  EXPECT_EQ(PortNumberFromName("com4"), 4);
  EXPECT_EQ(PortNumberFromName("\\\\.\\COM12"), 12);
  EXPECT_EQ(PortNumberFromName("COM-1"), -1);
  EXPECT_EQ(PortNumberFromName("COM"), std::nullopt);
  EXPECT_EQ(PortNumberFromName("COM3x"), std::nullopt);
  EXPECT_EQ(PortNumberFromName("COM99999999999"), std::nullopt);
  EXPECT_EQ(PortNumberFromName("/dev/ttyUSB0"), std::nullopt);
}

TEST_F(PortNamesTest, CodeBeatsEnvironmentBeatsDefault) {
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyS2");  // counted from 0
  EXPECT_EQ(ResolveSerialPortPath(0), "");
  setenv("Q7K_COM3", "/dev/ttyUSB0", 1);
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyUSB0");
  // Read at each resolution, not cached.
  setenv("Q7K_COM3", "/dev/ttyACM1", 1);
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyACM1");

  SetSerialPortPath(3, "/dev/pts/9");
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/pts/9");
  SetSerialPortPath(3, "");  // removes the mapping
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyACM1");

  setenv("Q7K_COM3", "", 1);  // an empty variable counts as unset
  EXPECT_EQ(ResolveSerialPortPath(3), "/dev/ttyS2");
  // Other names are paths as they stand.
  EXPECT_EQ(DevicePathForName("/dev/pts/4"), "/dev/pts/4");
  EXPECT_EQ(DevicePathForName("COM0"), "");
}

}  // namespace
}  // namespace q7k
