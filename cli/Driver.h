// The program: banner, argument check, the build, its duration and the one-line error.
#pragma once

#include <string>
#include <vector>

#include "rt/Console.h"
#include "rt/Exception.h"

namespace voltrane {

// Exit statuses a script can tell apart.
// A run stopped by a signal ends with 128 + its number.
enum TExitStatus { kExitSuccess = 0, kExitBuildFailed = 1, kExitUsage = 2 };

// A setting from the environment that cannot be used; raised before anything is written.
VOLTRANE_ERROR_KIND(ESettingError, Exception);

// The environment variable that sets the number of deflate worker threads, and its limit.
inline constexpr const char* kThreadsVariable = "VOLTRANE_THREADS";
inline constexpr int kMaxDeflateThreads = 256;

// Arguments without the program's name: one or more source masks, then the destination.
int RunDriver(const std::vector<std::string>& arguments, TConsole& console);

// Elapsed time as total hours (not wrapped at a day), then minutes and seconds with two
// digits each; fractions of a second are dropped: 65.9 s gives 0:01:05.
std::string FormatDuration(double seconds);

}  // namespace voltrane
