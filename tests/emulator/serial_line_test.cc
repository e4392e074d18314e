#include "serial_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "emulator/emulator_session.h"

namespace q7k {
namespace testing_emu {
namespace {

TEST(EmulatorSerialLine, PseudoTerminalHostEndStartsRaw) {
  emu::SerialLine line;
  std::string error;
  ASSERT_TRUE(line.OpenPseudoTerminal("", &error)) << error;
  EXPECT_EQ(line.path().rfind("/dev/pts/", 0), 0u) << line.path();
  int host = ::open(line.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(host, 0);
  termios tio;
  ASSERT_EQ(tcgetattr(host, &tio), 0);
  EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  ::close(host);
  line.Close();
  EXPECT_FALSE(line.is_open());
  EXPECT_EQ(line.path(), "");
}

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
