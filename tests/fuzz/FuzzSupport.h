#pragma once

#include <string>

namespace voltrane::fuzz {

// A folder for the whole fuzzing run, removed at exit.
const std::string& ScratchFolder();
void RemoveTreeContents(const std::string& folder);

}  // namespace voltrane::fuzz
