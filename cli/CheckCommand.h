// "voltrane --check FILE.ggz...": whether a device can use each GGZ file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rt/Console.h"

namespace voltrane {

// When the first argument is --check: checks every file after it, printing "Checking: "
// and its path before its problems and summary, and gives the exit status (0 when no file
// has a problem, 1 when one has or cannot be read, 2 without a file). Else gives nothing.
std::optional<int> RunCheckCommand(const std::vector<std::string>& arguments, TConsole& console);

}  // namespace voltrane
