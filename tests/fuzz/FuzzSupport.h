#pragma once

#include <string>

namespace voltrane::fuzz {

// A folder for the whole fuzzing run, removed at exit.
const std::string& ScratchFolder();
void RemoveTreeContents(const std::string& folder);

// Aborts unless the XML pool hands freed blocks straight back to AddressSanitizer, which
// could not see a use after free of a block the pool kept.
void RequireXmlPoolOff();

}  // namespace voltrane::fuzz
