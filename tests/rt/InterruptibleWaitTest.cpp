// The main thread's wait for its workers ends on a notice from another thread, and at once on
// a stop signal, with no notice at all.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <thread>

#include "rt/Interrupt.h"

namespace voltrane {
namespace {

// The handlers installed for a test, the signal state as it was afterwards.
class TInstalledHandlers {
 public:
  TInstalledHandlers() {
    sigaction(SIGINT, nullptr, &previous_);
    InstallInterruptHandlers();
  }
  ~TInstalledHandlers() {
    sigaction(SIGINT, &previous_, nullptr);
    gInterruptSignal = 0;
  }

 private:
  struct sigaction previous_ = {};
};

TEST(InterruptibleWait, EndsOnANoticeGivenBeforeOrWhileItWaits) {
  TInterruptibleWait wait;
  wait.Notify();
  wait.Wait();  // the earlier notice counts
  std::thread worker([&] { wait.Notify(); });
  wait.Wait();
  worker.join();
}

TEST(InterruptibleWait, StopSignalEndsTheWaitWithoutANotice) {
  TInstalledHandlers handlers;
  TInterruptibleWait wait;
  pthread_t waiting = pthread_self();
  std::thread signaller([waiting] { pthread_kill(waiting, SIGINT); });
  EXPECT_THROW(
      {
        for (;;) wait.Wait();  // a signal before the wait ends it as well
      },
      EInterrupted);
  signaller.join();
}

}  // namespace
}  // namespace voltrane
