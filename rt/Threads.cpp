#include "rt/Threads.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>

namespace voltrane {

int UsableCpuCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

std::thread StartWorkerThread(std::function<void()> work) {
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, signal);
  // A new thread starts with the mask of the thread that starts it.
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  try {
    std::thread thread(std::move(work));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    throw;
  }
}

}  // namespace voltrane
