// The program itself, started as a process like an integrator starts it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/host_line.h"

extern char** environ;

namespace q7k {
namespace testing_emu {
namespace {

// A running q7k-emulator with its standard output on a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    args.insert(args.begin(), Q7K_EMULATOR_BINARY);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) !=
        0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    out_ = out[0];
  }

  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  // The next line of standard output; empty at its end or the deadline.
  std::string ReadLine() {
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    for (;;) {
      const size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::string();
      pollfd p = {out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
      char block[256];
      ssize_t n = ::read(out_, block, sizeof block);
      if (n <= 0) return std::string();
      buffer_.append(block, static_cast<size_t>(n));
    }
  }

  // Sends signal and returns the exit status.
  int Stop(int signal) {
    kill(pid_, signal);
    return Wait();
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

TEST(EmulatorProgram, PrintsItsPathAndAnswersUntilStopped) {
  char pattern[] = "/tmp/q7k-emu-prog-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string link = dir + "/com3";
  Program program(
      {"--link", link, "--boot-loader", "--fault", "nak=5@cmd=0x000A@once"});
  ASSERT_TRUE(program.started());
  const std::string path = program.ReadLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
  {
    HostLine host(link);
    ASSERT_TRUE(host.ok());
    Frame info = host.Transact(0x0001);
    EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 9),
              "POSTLOAD");
    EXPECT_EQ(host.Transact(0x000A, Bytes(20, 0)).NakNumber(), 5);
  }
  EXPECT_EQ(program.Stop(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  std::filesystem::remove_all(dir);
}

TEST(EmulatorProgram, WrongCommandLineExitsWithoutAPath) {
  Program program({"--page-size", "9"});
  ASSERT_TRUE(program.started());
  EXPECT_EQ(program.ReadLine(), "");
  EXPECT_NE(program.Wait(), 0);
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
