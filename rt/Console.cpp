#include "rt/Console.h"

#include <unistd.h>

#include <cerrno>

#include "rt/Exception.h"

namespace voltrane {

void TStdoutConsole::WriteLine(const std::string& text) {
  std::string line = text + "\n";
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(STDOUT_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EInOutError("Cannot write to standard output. " + SysErrorText(errno));
    done += size_t(n);
  }
}

}  // namespace voltrane
