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
  CommandLine cl =
      ParseCommandLine(static_cast<int>(args.size()), args.data(), out, err);
  return {cl, out.str(), err.str()};
}

TEST(EmulatorOptions, IdentityFaultsAndBadBoardsReachTheEmulator) {
  Parsed p =
      Parse({"--app-name", "MYFW", "--empty-flash", "--fault", "nak=5@cmd=10",
             "--bad-board", "6,0", "--bad-board", "0,3,0x8000"});
  ASSERT_FALSE(p.cl.exit) << p.err;
  const EmulatorOptions& o = p.cl.options;
  EXPECT_EQ(o.model.flash.firmware.name, "MYFW    ");
  EXPECT_EQ(TrimField(o.model.flash.firmware.version), "01.20.02");
  EXPECT_FALSE(o.model.flash.firmwareInFlash);
  ASSERT_EQ(o.faults.size(), 1u);
  EXPECT_EQ(o.faults[0].nakNumber, 5);
  EXPECT_EQ(o.faults[0].command, 10);
  ASSERT_EQ(o.boardFaults.size(), 2u);
  EXPECT_EQ(o.boardFaults[0].slot, 6);
  EXPECT_EQ(o.boardFaults[0].xorMask, 1);
  EXPECT_EQ(o.boardFaults[1].subslot, 3);
  EXPECT_EQ(o.boardFaults[1].xorMask, 0x8000);
}

TEST(EmulatorOptions, BadOptionsExitWithAMessageAndHelpExitsCleanly) {
  const std::vector<std::vector<const char*>> bad = {
      {"--page-size", "5"},          {"--fault", "garble"},
      {"--app-name", "TOOLONGNAME"}, {"--bad-board", "1"},
      {"--bad-board", "1,2,0"},
  };
  for (const auto& args : bad) {
    Parsed p = Parse(args);
    EXPECT_TRUE(p.cl.exit) << args[0];
    EXPECT_NE(p.cl.exitCode, 0) << args[0];
    EXPECT_FALSE(p.err.empty()) << args[0];
  }
  EXPECT_NE(Parse({"--fault", "garble"}).err.find("unknown fault kind"),
            std::string::npos);
  Parsed help = Parse({"--help"});
  EXPECT_TRUE(help.cl.exit);
  EXPECT_EQ(help.cl.exitCode, 0);
  EXPECT_NE(help.out.find("every=N"), std::string::npos);
}

}  // namespace
}  // namespace emu
}  // namespace q7k
