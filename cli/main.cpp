#include <string>
#include <vector>

#include "cli/Driver.h"
#include "rt/Platform.h"

int main(int argc, char** argv) {
  voltrane::PrepareProcess();
  voltrane::TStdoutConsole console;
  int status = voltrane::RunDriver(voltrane::ProgramArguments(argc, argv), console);
  voltrane::HoldOwnConsoleWindow();
  return status;
}
