// The main thread's wait for its workers ends on a notice from another thread, and at once on
// a stop signal, with no notice at all.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <thread>

#include "TestSupport.h"
#include "rt/Interrupt.h"

namespace voltrane::test {
namespace {

TEST(InterruptibleWait, EndsOnANoticeGivenBeforeOrWhileItWaits) {
  TInterruptibleWait wait;
  wait.Notify();
  wait.Wait();  // the earlier notice counts
  std::thread worker([&] { wait.Notify(); });
  wait.Wait();
  worker.join();
}

TEST(InterruptibleWait, StopSignalEndsTheWaitWithoutANotice) {
  struct sigaction previous = {};
  sigaction(SIGINT, nullptr, &previous);
  TScoped restore([&] {  // the state as it was for the other tests
    sigaction(SIGINT, &previous, nullptr);
    gInterruptSignal = 0;
  });
  InstallInterruptHandlers();
  TInterruptibleWait wait;
  pthread_t waiting = pthread_self();
  std::thread signaller([waiting] { pthread_kill(waiting, SIGINT); });
  auto waitForever = [&] {
    for (;;) wait.Wait();  // a signal before the wait ends it as well
  };
  EXPECT_THROW(waitForever(), EInterrupted);
  signaller.join();
}

}  // namespace
}  // namespace voltrane::test
