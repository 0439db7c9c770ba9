// What the kit's small programs share: their error kind, argument parsing and the way a
// failure is reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rt/Exception.h"

namespace voltrane {

VOLTRANE_ERROR_KIND(EBenchError, Exception);
// Wrong arguments: the program prints its usage.
VOLTRANE_ERROR_KIND(EBenchUsageError, EBenchError);

// "10", "0.5", "1000": megabytes of 1,000,000 bytes, as bytes. The decimal point is always
// "." so a script gives the same size whatever the locale.
int64_t ParseMegabytes(const std::string& text, const std::string& what);
// A whole number from minimum up.
uint64_t ParseCount(const std::string& text, const std::string& what, uint64_t minimum);

// Runs the program's body: a usage error prints the usage and gives 2, any other error
// prints "program: Kind: message" to standard error and gives 1.
int RunTool(const std::string& program, const std::string& usage,
            const std::function<void()>& body);

}  // namespace voltrane
