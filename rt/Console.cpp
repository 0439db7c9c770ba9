#include "rt/Console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "rt/Exception.h"
#include "rt/Interrupt.h"

namespace voltrane {

namespace {

// How long the last lines of an interrupted run may wait for a reader that may never come.
constexpr int kInterruptedWaitMs = 200;

void WriteAll(int fd, const std::string& line, bool stopOnSignal) {
  size_t done = 0;
  while (done < line.size()) {
    if (InterruptSignal() != 0) {
      // After a signal nothing may block: a pipe that nobody reads would hold the run.
      struct pollfd ready = {fd, POLLOUT, 0};
      if (::poll(&ready, 1, kInterruptedWaitMs) <= 0 || !(ready.revents & POLLOUT))
        throw EInOutError("Cannot write to standard output. Interrupted");
    }
    ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) {
      if (stopOnSignal) CheckInterrupted();
      continue;
    }
    if (n <= 0) throw EInOutError("Cannot write to standard output. " + SysErrorText(errno));
    done += size_t(n);
  }
}

}  // namespace

void TStdoutConsole::WriteLine(const std::string& text) {
  WriteAll(STDOUT_FILENO, text + "\n", true);
}

void TStdoutConsole::WriteErrorLine(const std::string& text) {
  WriteAll(STDERR_FILENO, text + "\n", false);
}

}  // namespace voltrane
