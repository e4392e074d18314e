// The program itself: its command line, and the process started like an
// integrator starts it.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/host_line.h"
#include "options.h"
#include "support/temp_dir.h"

namespace q7k {
namespace testing_emu {
namespace {

struct Parsed {
  emu::CommandLine cl;
  std::string out;
  std::string err;
};

Parsed ParseArgs(std::vector<const char*> args) {
  args.insert(args.begin(), "q7k-emulator");
  std::ostringstream out, err;
  emu::CommandLine cl = emu::ParseCommandLine(static_cast<int>(args.size()),
                                              args.data(), out, err);
  return {cl, out.str(), err.str()};
}

// The shell prints its process id, then becomes the emulator.
std::FILE* Start(const std::string& args) {
  std::FILE* f =
      popen(("echo $$; exec " + std::string(Q7K_EMULATOR_BINARY) + " " + args)
                .c_str(),
            "r");
  if (f != nullptr) std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

// The next line of output; empty at its end or when none comes in time.
std::string NextLine(std::FILE* f) {
  pollfd p = {fileno(f), POLLIN, 0};
  char line[256];
  if (::poll(&p, 1, static_cast<int>(kDeadline.count())) != 1 ||
      std::fgets(line, sizeof line, f) == nullptr) {
    return "";
  }
  return std::string(line, std::strcspn(line, "\n"));
}

// The fault option is read in the running program below.
TEST(EmulatorOptions, IdentityAndBadBoardsReachTheEmulator) {
  Parsed p = ParseArgs({"--app-name", "MYFW", "--empty-flash", "--bad-board",
                        "6,0", "--bad-board", "0,3,0x8000"});
  ASSERT_FALSE(p.cl.exit) << p.err;
  const EmulatorOptions& o = p.cl.options;
  EXPECT_EQ(o.model.flash.firmware.name, "MYFW    ");
  EXPECT_EQ(emu::TrimField(o.model.flash.firmware.version), "01.20.02");
  EXPECT_FALSE(o.model.flash.firmwareInFlash);
  ASSERT_EQ(o.boardFaults.size(), 2u);
  EXPECT_EQ(o.boardFaults[0].slot, 6);
  EXPECT_EQ(o.boardFaults[0].xorMask, 1);
  EXPECT_EQ(o.boardFaults[1].subslot, 3);
  EXPECT_EQ(o.boardFaults[1].xorMask, 0x8000);
}

TEST(EmulatorOptions, BadOptionsExitWithAMessageAndHelpExitsCleanly) {
  const std::vector<std::vector<const char*>> bad = {
      {"--page-size", "5"},
      {"--fault", "garble"},
      {"--fault", "checksum@every=3@once"},
      {"--app-name", "TOOLONGNAME"},
      {"--bad-board", "1"},
      {"--bad-board", "1,2,0"},
      {"--bad-board", "3,0"},
      {"--capacitance", "nan"},
      {"--listen", "tcp://127.0.0.1:1"},
      {"--listen", "socket://::1:5"},
      {"--listen", "socket://127.0.0.1:65536"},
      {"--listen", "socket://127.0.0.1:0", "--link", "/tmp/x"},
      {"--device", "/dev/null", "--link", "/tmp/x"},
  };
  for (const auto& args : bad) {
    Parsed p = ParseArgs(args);
    EXPECT_TRUE(p.cl.exit) << args[0];
    EXPECT_NE(p.cl.exitCode, 0) << args[0];
    EXPECT_FALSE(p.err.empty()) << args[0];
  }
  EXPECT_NE(ParseArgs({"--fault", "garble"}).err.find("unknown fault kind"),
            std::string::npos);
  Parsed help = ParseArgs({"--help"});
  EXPECT_TRUE(help.cl.exit);
  EXPECT_EQ(help.cl.exitCode, 0);
  EXPECT_NE(help.out.find("every=N"), std::string::npos);

  // The program itself exits without printing a path.
  std::FILE* program = Start("--page-size 9 2>/dev/null");
  ASSERT_NE(program, nullptr);
  NextLine(program);  // the process id
  EXPECT_EQ(NextLine(program), "");
  const int status = pclose(program);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
}

// The printed address serves until a SIGTERM, which removes the link.
TEST(EmulatorProgram, PrintsItsAddressAndAnswersUntilStopped) {
  ScopedTempDir dir;
  const std::string link = dir.File("com3");
  const struct {
    std::string args;
    const char* printed;  // how the address starts
    bool linked;
  } runs[] = {
      {"--link " + link + " --fault nak=5@cmd=0x000A@once", "/dev/pts/", true},
      {"--listen socket://[::1]:0", "socket://[::1]:", false},
  };
  for (const auto& run : runs) {
    std::FILE* program = Start(run.args + " --boot-loader");
    ASSERT_NE(program, nullptr);
    const pid_t pid = static_cast<pid_t>(std::atol(NextLine(program).c_str()));
    const std::string address = NextLine(program);
    EXPECT_EQ(address.rfind(run.printed, 0), 0u) << address;
    if (run.linked) {
      EXPECT_EQ(std::filesystem::read_symlink(link).string(), address);
    }
    {
      HostLine host(run.linked ? ::open(link.c_str(), O_RDWR | O_NOCTTY)
                               : Connect(address));
      Frame info = host.Transact(0x0001);
      EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
                "POSTLOAD");
      if (run.linked) {
        EXPECT_EQ(host.Transact(0x000A, Bytes(20, 0)).NakNumber(), 5);
      }
    }
    ASSERT_GT(pid, 0);
    kill(pid, SIGTERM);
    const int status = pclose(program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

// A line that is gone for good (here: never a serial line) ends the program
// instead of leaving it deaf or reopening it in a loop.
TEST(EmulatorProgram, LineLostForGoodEndsTheProgram) {
  std::FILE* program = Start("--device /dev/null 2>&1");
  ASSERT_NE(program, nullptr);
  const pid_t pid = static_cast<pid_t>(std::atol(NextLine(program).c_str()));
  EXPECT_EQ(NextLine(program), "/dev/null");
  const std::string said = NextLine(program);
  const bool lost = said.rfind("q7k-emulator: line lost", 0) == 0;
  EXPECT_TRUE(lost) << said;
  if (!lost && pid > 0) kill(pid, SIGTERM);
  EXPECT_EQ(WEXITSTATUS(pclose(program)), 1);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
