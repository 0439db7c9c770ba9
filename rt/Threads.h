// Threads that work for the main thread: how many CPUs there are to run them, and starting
// one so that the stop signals reach the main thread, not it.
#pragma once

#include <functional>
#include <thread>

namespace voltrane {

// The CPUs this process may run on (its affinity mask), at least 1.
int UsableCpuCount();

// A thread running work with SIGINT, SIGTERM and SIGHUP blocked: a signal then interrupts the
// main thread's blocking calls, which is where the run notices it.
std::thread StartWorkerThread(std::function<void()> work);

}  // namespace voltrane
