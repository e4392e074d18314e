// q7k-emulator: a virtual Q7300 on a pseudo-terminal or serial device.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "emulator.h"
#include "options.h"

int main(int argc, char** argv) {
  q7k::emu::CommandLine cl =
      q7k::emu::ParseCommandLine(argc, argv, std::cout, std::cerr);
  if (cl.exit) return cl.exitCode;

  // The signals are taken by sigwait below; blocked before the worker
  // starts so that it inherits the mask and never sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  // Sent to itself when a strict replay diverged, and when the line was
  // lost for good.
  sigaddset(&stopSignals, SIGUSR1);
  sigaddset(&stopSignals, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A reader of the printed paths that went away must not end the session.
  signal(SIGPIPE, SIG_IGN);

  q7k::Emulator emulator(cl.options);
  emulator.set_reopened_callback([](const std::string& path) {
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
  });
  emulator.set_replay_callback([](const std::string& message, bool fatal) {
    std::fprintf(stderr, "q7k-emulator: replay: %s\n", message.c_str());
    if (fatal) kill(getpid(), SIGUSR1);
  });
  emulator.set_warning_callback([](const std::string& what) {
    std::fprintf(stderr, "q7k-emulator: %s\n", what.c_str());
  });
  // Told after the path below, which the line may not outlive.
  emulator.set_lost_callback(
      [](const std::string&) { kill(getpid(), SIGUSR2); });
  const std::string path = emulator.Start();
  if (path.empty()) {
    std::fprintf(stderr, "q7k-emulator: %s\n", emulator.error().c_str());
    return q7k::emu::kExitLineFailed;
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  emulator.Stop();
  if (signal == SIGUSR1) return q7k::emu::kExitReplayDiverged;
  if (signal != SIGUSR2) return 0;
  std::fprintf(stderr, "q7k-emulator: %s\n", emulator.error().c_str());
  return q7k::emu::kExitLineFailed;
}
