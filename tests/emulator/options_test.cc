#include "options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace q7k {
namespace emu {
namespace {

struct Parsed {
  CommandLine cl;
  std::string out;
  std::string err;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "q7k-emulator");
  std::ostringstream out, err;
  Parsed p{
      ParseCommandLine(static_cast<int>(args.size()), args.data(), out, err),
      "", ""};
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(EmulatorOptions, DefaultsServeAPseudoTerminalRunningTheFirmware) {
  Parsed p = Parse({});
  ASSERT_FALSE(p.cl.exit);
  const EmulatorOptions& o = p.cl.options;
  EXPECT_EQ(o.line.device, "");
  EXPECT_EQ(o.line.baud, 0u);
  EXPECT_EQ(o.model.flash.firmware.name, "Q7I     ");
  EXPECT_EQ(TrimField(o.model.flash.firmware.version), "01.20.02");
  EXPECT_TRUE(o.model.flash.firmwareInFlash);
  EXPECT_FALSE(o.model.flash.startInBootLoader);
  EXPECT_TRUE(o.faults.empty());
}

TEST(EmulatorOptions, EveryOptionReachesTheEmulator) {
  Parsed p = Parse({"--device",         "/dev/ttyS9",
                    "--link",           "/tmp/q7k",
                    "--baud",           "9600",
                    "--turnaround",     "3",
                    "--trace",          "-",
                    "--boards",         "/tmp/boards",
                    "--app-name",       "MYFW",
                    "--app-version",    "02.00.00",
                    "--app-date",       "01/02/03",
                    "--app-time",       "04:05:06",
                    "--boot-loader",    "--empty-flash",
                    "--flash-capacity", "3",
                    "--page-size",      "2",
                    "--watchdog",       "WDT",
                    "--capacitance",    "2e-9",
                    "--tan-delta",      "0.01",
                    "--line-frequency", "50",
                    "--ranging-polls",  "0",
                    "--settling-polls", "2",
                    "--fault",          "checksum@once",
                    "--fault",          "nak=5@cmd=10",
                    "--bad-board",      "6,0",
                    "--bad-board",      "0,3,0x8000",
                    "--loopback"});
  ASSERT_FALSE(p.cl.exit) << p.err;
  const EmulatorOptions& o = p.cl.options;
  EXPECT_EQ(o.line.device, "/dev/ttyS9");
  EXPECT_EQ(o.line.linkPath, "/tmp/q7k");
  EXPECT_EQ(o.line.baud, 9600u);
  EXPECT_EQ(o.line.turnaroundMs, 3u);
  EXPECT_EQ(o.line.tracePath, "-");
  EXPECT_TRUE(o.line.loopback);
  EXPECT_EQ(o.boardDir, "/tmp/boards");
  EXPECT_EQ(o.model.flash.firmware.name, "MYFW    ");
  EXPECT_EQ(TrimField(o.model.flash.firmware.version), "02.00.00");
  EXPECT_EQ(TrimField(o.model.flash.firmware.date), "01/02/03");
  EXPECT_EQ(TrimField(o.model.flash.firmware.time), "04:05:06");
  EXPECT_TRUE(o.model.flash.startInBootLoader);
  EXPECT_FALSE(o.model.flash.firmwareInFlash);
  EXPECT_EQ(o.model.flash.capacity, 3u);
  EXPECT_EQ(o.model.flash.pageSize, 2u);
  EXPECT_EQ(o.model.watchdogText, "WDT");
  EXPECT_DOUBLE_EQ(o.model.test.specimen.capacitance, 2e-9);
  EXPECT_DOUBLE_EQ(o.model.test.specimen.dissipation, 0.01);
  EXPECT_FLOAT_EQ(o.model.test.lineFrequency, 50.0f);
  EXPECT_EQ(o.model.test.rangingPolls, 0);
  EXPECT_EQ(o.model.test.settlingPolls, 2);
  ASSERT_EQ(o.faults.size(), 2u);
  EXPECT_EQ(o.faults[1].kind, FaultKind::kNak);
  EXPECT_EQ(o.faults[1].nakNumber, 5);
  EXPECT_EQ(o.faults[1].command, 10);
  ASSERT_EQ(o.boardFaults.size(), 2u);
  EXPECT_EQ(o.boardFaults[0].slot, 6);
  EXPECT_EQ(o.boardFaults[0].xorMask, 1);
  EXPECT_EQ(o.boardFaults[1].subslot, 3);
  EXPECT_EQ(o.boardFaults[1].xorMask, 0x8000);
}

TEST(EmulatorOptions, BadOptionsExitWithAMessage) {
  const std::vector<std::vector<const char*>> bad = {
      {"--page-size", "5"},          {"--fault", "garble"},
      {"--app-name", "TOOLONGNAME"}, {"--bad-board", "1"},
      {"--bad-board", "1,2,0"},      {"--baud", "fast"},
      {"--no-such-option"},
  };
  for (const auto& args : bad) {
    Parsed p = Parse(args);
    EXPECT_TRUE(p.cl.exit) << args[0];
    EXPECT_NE(p.cl.exitCode, 0) << args[0];
    EXPECT_FALSE(p.err.empty()) << args[0];
  }
  EXPECT_NE(Parse({"--fault", "garble"}).err.find("unknown fault kind"),
            std::string::npos);
}

TEST(EmulatorOptions, HelpDescribesTheFaults) {
  Parsed p = Parse({"--help"});
  EXPECT_TRUE(p.cl.exit);
  EXPECT_EQ(p.cl.exitCode, 0);
  EXPECT_NE(p.out.find("--fault"), std::string::npos);
  EXPECT_NE(p.out.find("every=N"), std::string::npos);
}

}  // namespace
}  // namespace emu
}  // namespace q7k
