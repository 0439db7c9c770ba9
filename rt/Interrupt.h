// SIGINT, SIGTERM and SIGHUP stop a run: the handler only notes the signal, and the next
// file read or write (or a long loop that asks) raises EInterrupted, so the run unwinds
// through its normal cleanup.
#pragma once

#include <atomic>
#include <memory>

#include "rt/Exception.h"

namespace voltrane {

VOLTRANE_ERROR_KIND(EInterrupted, Exception);

// Worker threads read it while the handler writes it; lock-free, so the handler may.
extern std::atomic<int> gInterruptSignal;
static_assert(std::atomic<int>::is_always_lock_free);

void InstallInterruptHandlers();
// The signal that asked the run to stop, or 0.
inline int InterruptSignal() {
  return gInterruptSignal.load(std::memory_order_relaxed);
}
// Raises EInterrupted ("Interrupted by SIGINT").
[[noreturn]] void RaiseInterrupted();
// Raises EInterrupted once a signal has arrived; one relaxed load, cheap in inner loops.
inline void CheckInterrupted() {
  if (InterruptSignal() != 0) [[unlikely]]
    RaiseInterrupted();
}

// How the main thread waits for its workers: Wait returns after a Notify from any thread
// (each Notify ends one Wait, early or late) and raises EInterrupted as soon as a stop signal
// arrives, without polling. While several exist, a signal posts the first made; the others
// still end their waits at the next Notify.
class TInterruptibleWait {
 public:
  TInterruptibleWait();
  ~TInterruptibleWait();
  TInterruptibleWait(const TInterruptibleWait&) = delete;
  TInterruptibleWait& operator=(const TInterruptibleWait&) = delete;

  void Notify();
  void Wait();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace voltrane
