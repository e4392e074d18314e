// The program itself, started as a process like an integrator starts it.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "emulator/host_line.h"
#include "support/temp_dir.h"

namespace q7k {
namespace testing_emu {
namespace {

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

TEST(EmulatorProgram, PrintsItsPathAndAnswersUntilStopped) {
  ScopedTempDir dir;
  const std::string link = dir.File("com3");
  std::FILE* program =
      Start("--link " + link + " --boot-loader --fault nak=5@cmd=0x000A@once");
  ASSERT_NE(program, nullptr);
  const pid_t pid = static_cast<pid_t>(std::atol(NextLine(program).c_str()));
  const std::string path = NextLine(program);
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
  {
    HostLine host(link);
    Frame info = host.Transact(0x0001);
    EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
              "POSTLOAD");
    EXPECT_EQ(host.Transact(0x000A, Bytes(20, 0)).NakNumber(), 5);
  }
  ASSERT_GT(pid, 0);
  kill(pid, SIGTERM);
  const int status = pclose(program);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(EmulatorProgram, WrongCommandLineExitsWithoutAPath) {
  std::FILE* program = Start("--page-size 9 2>/dev/null");
  ASSERT_NE(program, nullptr);
  NextLine(program);  // the process id
  EXPECT_EQ(NextLine(program), "");
  const int status = pclose(program);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
