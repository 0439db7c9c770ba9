// voltrane_measure: runs a command several times and prints each run's figures and their
// medians.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/RunFigures.h"
#include "bench/ToolSupport.h"

using namespace voltrane;

int main(int argc, char** argv) {
  return RunTool("voltrane_measure", "voltrane_measure <runs> -- <command...>", [&] {
    if (argc < 4 || std::strcmp(argv[2], "--") != 0)
      throw EBenchUsageError("expected a run count, \"--\" and a command");
    uint64_t count = ParseCount(argv[1], "the run count", 1);
    std::vector<std::string> command(argv + 3, argv + argc);
    std::vector<TRunFigures> runs;
    for (uint64_t i = 0; i < count; ++i) runs.push_back(MeasureRun(command));
    fputs(FormatRunTable(runs).c_str(), stdout);
  });
}
