#include "rt/Interrupt.h"

#include <pthread.h>
#include <semaphore.h>
#include <signal.h>

#include <cerrno>

namespace voltrane {

std::atomic<int> gInterruptSignal{0};

namespace {

pthread_t gMainThread;

// The semaphore that a TInterruptibleWait waits on, for the handler to post.
std::atomic<sem_t*> gWakeOnSignal{nullptr};

extern "C" void NoteSignal(int signal) {
  int none = 0;
  gInterruptSignal.compare_exchange_strong(none, signal);
  if (sem_t* wake = gWakeOnSignal.load()) sem_post(wake);  // safe in a signal handler
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

struct TInterruptibleWait::TState {
  sem_t Semaphore;
};

TInterruptibleWait::TInterruptibleWait() : state_(std::make_unique<TState>()) {
  if (sem_init(&state_->Semaphore, 0, 0) != 0)
    throw Exception("Cannot make a semaphore. " + SysErrorText(errno));
  sem_t* none = nullptr;
  gWakeOnSignal.compare_exchange_strong(none, &state_->Semaphore);
}

TInterruptibleWait::~TInterruptibleWait() {
  sem_t* mine = &state_->Semaphore;
  gWakeOnSignal.compare_exchange_strong(mine, nullptr);
  sem_destroy(&state_->Semaphore);
}

void TInterruptibleWait::Notify() {
  sem_post(&state_->Semaphore);
}

void TInterruptibleWait::Wait() {
  // A signal posts the semaphore, and a signal on this thread also ends sem_wait with EINTR.
  CheckInterrupted();
  while (sem_wait(&state_->Semaphore) != 0 && errno == EINTR) CheckInterrupted();
  CheckInterrupted();
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
