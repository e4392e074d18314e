#include <signal.h>

#include <csignal>

#include "interrupt.h"

namespace q7k::tool {
namespace {

volatile std::sig_atomic_t noted = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM};
struct sigaction previous[2];

extern "C" void Note(int) { noted = 1; }

}  // namespace

InterruptGuard::InterruptGuard() {
  noted = 0;
  struct sigaction note {};
  note.sa_handler = Note;
  sigemptyset(&note.sa_mask);
  // The handler lasts for one signal: the next takes the default way out.
  note.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int i = 0; i < 2; ++i) {
    sigaction(kSignals[i], nullptr, &previous[i]);
    // A signal ignored by whoever started us (a background job) stays so.
    if (previous[i].sa_handler != SIG_IGN) {
      sigaction(kSignals[i], &note, nullptr);
    }
  }
}

InterruptGuard::~InterruptGuard() {
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &previous[i], nullptr);
}

bool InterruptGuard::requested() const { return noted != 0; }

}  // namespace q7k::tool
