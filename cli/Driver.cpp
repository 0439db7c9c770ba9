#include "cli/Driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>

#include "cli/CheckCommand.h"
#include "cli/Options.h"
#include "ggz/Generate.h"
#include "rt/Exception.h"
#include "rt/Interrupt.h"
#include "rt/Path.h"

namespace voltrane {

namespace {

struct TReportedError {
  std::string KindName;
  std::string Message;
};

// Runs an action and turns whatever escapes it into a kind name and a message.
template <typename Action>
std::optional<TReportedError> Capture(Action action) {
  try {
    action();
  } catch (const Exception& e) {
    return TReportedError{e.KindName(), e.Message()};
  } catch (const std::bad_alloc&) {
    return TReportedError{"EOutOfMemory", "Out of memory"};
  } catch (const std::exception& e) {
    return TReportedError{"Exception", e.what()};
  }
  return std::nullopt;
}

void ReportError(TConsole& console, const TReportedError& error) {
  Capture([&] { console.WriteLine(error.KindName + ": " + error.Message); });
}

// VOLTRANE_THREADS, when set, is the number of deflate worker threads (benchmarks compare
// counts with it); unset or empty, a build takes one per usable CPU.
int DeflateThreadsFromEnvironment() {
  const char* value = std::getenv(kThreadsVariable);
  if (!value || !*value) return 0;
  int threads = 0;
  for (const char* c = value; *c; ++c) {
    if (*c < '0' || *c > '9' || threads > kMaxDeflateThreads) {
      threads = 0;
      break;
    }
    threads = threads * 10 + (*c - '0');
  }
  if (threads < 1 || threads > kMaxDeflateThreads)
    throw ESettingError(std::string(kThreadsVariable) + " must be a whole number from 1 to " +
                        std::to_string(kMaxDeflateThreads) + ", not \"" + value + "\"");
  return threads;
}

}  // namespace

std::string FormatDuration(double seconds) {
  long long whole = seconds > 0 ? (long long)seconds : 0;
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%.2lld:%.2lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

int RunDriver(const std::vector<std::string>& arguments, TConsole& console) {
  int optionStatus = -1;  // the status of --help, --version or --check, when given
  if (auto error = Capture([&] {
        optionStatus = RunInformationOption(arguments, console).value_or(-1);
        if (optionStatus < 0) optionStatus = RunCheckCommand(arguments, console).value_or(-1);
        if (optionStatus >= 0) return;
        console.WriteLine(BannerLine());
        console.WriteLine("");
      })) {
    ReportError(console, *error);
    return kExitBuildFailed;
  }
  if (optionStatus >= 0) return optionStatus;
  if (arguments.size() < 2) {
    Capture([&] {
      console.WriteLine("Usage:");
      console.WriteLine(UsageLine());
    });
    return kExitUsage;
  }

  // A steady clock, so that a clock change or a daylight-saving switch during the run
  // does not distort the duration.
  auto start = std::chrono::steady_clock::now();
  std::optional<TReportedError> error = Capture([&] {
    // A shell expands an unquoted mask into many names: every argument but the last is a mask.
    std::vector<std::string> masks;
    for (size_t i = 0; i + 1 < arguments.size(); ++i) masks.push_back(ExpandFileName(arguments[i]));
    // The destination's ".." is the file system's to resolve, after any link before it.
    Generate(masks, AbsolutePath(arguments.back()), console, DeflateThreadsFromEnvironment());
  });
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::optional<TReportedError> durationError =
      Capture([&] { console.WriteLine("Duration: " + FormatDuration(elapsed.count())); });
  if (!error && durationError) {
    // The archive is in place: a lost progress line is told, and the status stays 0.
    Capture(
        [&] { console.WriteErrorLine(durationError->KindName + ": " + durationError->Message); });
    return kExitSuccess;
  }
  if (error) {
    ReportError(console, *error);
    // Stopped by a signal: the shell's convention of 128 + the signal number.
    return InterruptSignal() != 0 && error->KindName == "EInterrupted" ? 128 + InterruptSignal()
                                                                       : kExitBuildFailed;
  }
  return kExitSuccess;
}

}  // namespace voltrane
