// Timing one run of a command as a child process: wall time, CPU time and peak memory.
#pragma once

#include <string>
#include <vector>

namespace voltrane {

struct TRunFigures {
  double WallSeconds = 0;  // steady clock, from before the start to after the end
  double UserSeconds = 0;  // of the child, from wait4
  double SystemSeconds = 0;
  double PeakMib = 0;  // peak resident size of the child, MiB
};

// Runs the command (looked up in PATH) once with its standard output on /dev/null and its
// standard error left as it is. A command that cannot start, or that ends other than with
// status 0, raises EBenchError: the figures of a failed run would mean nothing.
TRunFigures MeasureRun(const std::vector<std::string>& command);

// The middle value; the mean of the two middle ones for an even count. Needs one value.
double Median(std::vector<double> values);
// Each figure's median on its own.
TRunFigures MedianFigures(const std::vector<TRunFigures>& runs);

// A table of every run and the median, one line each, columns aligned:
// "run  wall_s  user_s  sys_s  peak_MiB", then "1 ...", ..., then "median ...".
std::string FormatRunTable(const std::vector<TRunFigures>& runs);

}  // namespace voltrane
