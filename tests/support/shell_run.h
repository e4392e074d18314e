// Runs a shell command and keeps its standard output and exit status: the
// tool tests drive the installed programs as a user would.
#ifndef Q7K_TESTS_SUPPORT_SHELL_RUN_H_
#define Q7K_TESTS_SUPPORT_SHELL_RUN_H_

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace q7k {

struct ShellRun {
  int status = -1;  // -1 when it did not start or did not exit
  std::string out;
  std::string err;  // filled by callers that send it to a file
};

inline ShellRun RunShell(const std::string& command) {
  ShellRun r;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    r.out.append(buffer, n);
  }
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SHELL_RUN_H_
