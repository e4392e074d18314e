#include "bench/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace q7k {
namespace bench {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool input) {
  int pipeFds[2];
  int inFds[2] = {-1, -1};
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
  if (input && pipe2(inFds, O_CLOEXEC) != 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  if (input) posix_spawn_file_actions_adddup2(&actions, inFds[0], STDIN_FILENO);
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) !=
      0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  out_ = pipeFds[0];
  if (input) {
    close(inFds[0]);
    in_ = inFds[1];
  }
}

ChildProcess::~ChildProcess() {
  if (in_ >= 0) close(in_);
  Stop();
  if (out_ >= 0) close(out_);
}

bool ChildProcess::ReadLine(std::string* line) {
  for (;;) {
    const size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      *line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return true;
    }
    char block[4096];
    const ssize_t n = read(out_, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffered_.append(block, static_cast<size_t>(n));
  }
}

bool ChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int ChildProcess::Stop() {
  if (pid_ > 0) kill(pid_, SIGTERM);
  return Reap();
}

int ChildProcess::Wait() { return Reap(); }

int ChildProcess::Reap() {
  if (pid_ <= 0) return status_;
  rusage usage = {};
  while (wait4(pid_, &status_, 0, &usage) < 0 && errno == EINTR) {
  }
  peakRssKiB_ = usage.ru_maxrss;
  pid_ = -1;
  return status_;
}

}  // namespace bench
}  // namespace q7k
