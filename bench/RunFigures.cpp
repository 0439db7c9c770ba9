#include "bench/RunFigures.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "bench/ToolSupport.h"

namespace voltrane {

namespace {

// A file descriptor closed when it goes out of scope.
class TDescriptor {
 public:
  explicit TDescriptor(int fd = -1) : fd_(fd) {}
  ~TDescriptor() { Close(); }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

double Seconds(const timeval& time) {
  return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

}  // namespace

TRunFigures MeasureRun(const std::vector<std::string>& command) {
  if (command.empty()) throw EBenchError("no command to run");
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  TDescriptor null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (null.Get() < 0)
    throw EBenchError(std::string("Cannot open /dev/null: ") + SysErrorText(errno));
  // The child reports a failed exec through this pipe; a successful exec closes it.
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw EBenchError(std::string("pipe: ") + SysErrorText(errno));
  TDescriptor readEnd(ends[0]), writeEnd(ends[1]);

  using TClock = std::chrono::steady_clock;
  TClock::time_point start = TClock::now();
  pid_t child = ::fork();
  if (child < 0) throw EBenchError(std::string("fork: ") + SysErrorText(errno));
  if (child == 0) {
    ::dup2(null.Get(), STDOUT_FILENO);
    ::execvp(argv[0], argv.data());
    int error = errno;
    ssize_t written = ::write(writeEnd.Get(), &error, sizeof error);
    (void)written;
    ::_exit(127);
  }
  writeEnd.Close();
  int execError = 0;
  ssize_t got;
  do got = ::read(readEnd.Get(), &execError, sizeof execError);
  while (got < 0 && errno == EINTR);

  int status = 0;
  rusage usage{};
  pid_t waited;
  do waited = ::wait4(child, &status, 0, &usage);
  while (waited < 0 && errno == EINTR);
  TClock::time_point end = TClock::now();
  if (waited < 0) throw EBenchError(std::string("wait4: ") + SysErrorText(errno));

  if (got == sizeof execError)
    throw EBenchError("Cannot run \"" + command[0] + "\": " + SysErrorText(execError));
  if (WIFSIGNALED(status))
    throw EBenchError("\"" + command[0] + "\" was ended by signal " +
                      std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")");
  if (WEXITSTATUS(status) != 0)
    throw EBenchError("\"" + command[0] + "\" exited with status " +
                      std::to_string(WEXITSTATUS(status)));

  TRunFigures figures;
  figures.WallSeconds = std::chrono::duration<double>(end - start).count();
  figures.UserSeconds = Seconds(usage.ru_utime);
  figures.SystemSeconds = Seconds(usage.ru_stime);
  figures.PeakMib = double(usage.ru_maxrss) / 1024.0;  // Linux counts kibibytes
  return figures;
}

double Median(std::vector<double> values) {
  if (values.empty()) throw EBenchError("no values for a median");
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

TRunFigures MedianFigures(const std::vector<TRunFigures>& runs) {
  auto median = [&](double TRunFigures::*field) {
    std::vector<double> values;
    for (const TRunFigures& run : runs) values.push_back(run.*field);
    return Median(values);
  };
  TRunFigures result;
  result.WallSeconds = median(&TRunFigures::WallSeconds);
  result.UserSeconds = median(&TRunFigures::UserSeconds);
  result.SystemSeconds = median(&TRunFigures::SystemSeconds);
  result.PeakMib = median(&TRunFigures::PeakMib);
  return result;
}

std::string FormatRunTable(const std::vector<TRunFigures>& runs) {
  char line[160];
  std::string table;
  auto add = [&](const std::string& label, const TRunFigures& f) {
    snprintf(line, sizeof line, "%-7s %9.3f %9.3f %9.3f %9.1f\n", label.c_str(), f.WallSeconds,
             f.UserSeconds, f.SystemSeconds, f.PeakMib);
    table += line;
  };
  snprintf(line, sizeof line, "%-7s %9s %9s %9s %9s\n", "run", "wall_s", "user_s", "sys_s",
           "peak_MiB");
  table += line;
  for (size_t i = 0; i < runs.size(); ++i) add(std::to_string(i + 1), runs[i]);
  add("median", MedianFigures(runs));
  return table;
}

}  // namespace voltrane
