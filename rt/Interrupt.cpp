#include "rt/Interrupt.h"

#include <pthread.h>
#include <signal.h>

namespace voltrane {

std::atomic<int> gInterruptSignal{0};

namespace {

pthread_t gMainThread;

extern "C" void NoteSignal(int signal) {
  int none = 0;
  gInterruptSignal.compare_exchange_strong(none, signal);
  // The kernel may hand the signal to a worker thread; the main thread may be the one
  // blocked (opening a FIFO, writing to a full pipe), so it gets the signal too, which
  // ends its wait with EINTR.
  if (!pthread_equal(pthread_self(), gMainThread)) pthread_kill(gMainThread, signal);
}

}  // namespace

void InstallInterruptHandlers() {
  gMainThread = pthread_self();
  struct sigaction action = {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns and sees the flag
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void RaiseInterrupted() {
  int signal = InterruptSignal();
  const char* name = signal == SIGINT    ? "SIGINT"
                     : signal == SIGTERM ? "SIGTERM"
                     : signal == SIGHUP  ? "SIGHUP"
                                         : "a signal";
  throw EInterrupted(std::string("Interrupted by ") + name);
}

}  // namespace voltrane
