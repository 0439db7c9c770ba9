#include <signal.h>

#include <string>
#include <vector>

#include "cli/Driver.h"
#include "rt/Interrupt.h"

int main(int argc, char** argv) {
  // Failed writes must come back as errors that name the file, not end the process:
  // a file-size limit (SIGXFSZ) or a closed output pipe (SIGPIPE).
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  voltrane::InstallInterruptHandlers();
  voltrane::TStdoutConsole console;
  return voltrane::RunDriver(std::vector<std::string>(argv + 1, argv + argc), console);
}
