// The options every command-line tool is expected to know: --help and --version.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rt/Console.h"

namespace voltrane {

// "VOLTRANE - GGZ file generator " and the executable's version.
std::string BannerLine();

// The usage line, naming the program as the build named its executable.
std::string UsageLine();

// When the only argument is -h, --help, -V or --version: prints the help or the version
// line and gives the exit status. Anything else prints nothing and gives no status, so that
// a mask or a destination that merely starts with "-" still reaches the build.
std::optional<int> RunInformationOption(const std::vector<std::string>& arguments,
                                        TConsole& console);

}  // namespace voltrane
