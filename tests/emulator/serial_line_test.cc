#include "serial_line.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

TEST(EmulatorSerialLine, ServesAGivenDevice) {
  // The test's own pseudo-terminal plays the serial device; the test is the
  // host on its master side.
  int master = -1, device = -1;
  ASSERT_EQ(openpty(&master, &device, nullptr, nullptr, nullptr), 0);
  const std::string devicePath = ttyname(device);
  EmulatorOptions options;
  options.line.device = devicePath;
  options.line.baud = 115200;
  Emulator emulator(options);
  EXPECT_EQ(emulator.Start(), devicePath);
  termios tio;
  ASSERT_EQ(tcgetattr(device, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B115200);
  ::close(device);
  HostLine host(master);
  EXPECT_EQ(host.Transact(0x0002).number, 0xFFFE);
  emulator.Stop();

  options.line.device = "/nonexistent/ttyQ7";
  Emulator missing(options);
  EXPECT_EQ(missing.Start(), "");
  EXPECT_NE(missing.error().find("open /nonexistent/ttyQ7"), std::string::npos);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
