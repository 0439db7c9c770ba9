#include "rt/Interrupt.h"

#include <signal.h>

#include <csignal>

namespace voltrane {

namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void NoteSignal(int signal) {
  if (gSignal == 0) gSignal = signal;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action = {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns and sees the flag
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

int InterruptSignal() {
  return gSignal;
}

void CheckInterrupted() {
  int signal = gSignal;
  if (signal == 0) return;
  const char* name = signal == SIGINT    ? "SIGINT"
                     : signal == SIGTERM ? "SIGTERM"
                     : signal == SIGHUP  ? "SIGHUP"
                                         : "a signal";
  throw EInterrupted(std::string("Interrupted by ") + name);
}

}  // namespace voltrane
