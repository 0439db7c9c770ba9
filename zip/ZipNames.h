// Turning file paths into stored member names and comparing names.
#pragma once

#include <string>

#include "rt/AsciiText.h"

namespace voltrane {

// "\" becomes "/"; a drive prefix (through the first ":/"), a server and share prefix (from
// "//" through the share's "/") and leading "/" (the POSIX root) are dropped.
std::string ToZipName(const std::string& name);
// ToZipName with every "/" turned back into "\".
std::string ToBackslashName(const std::string& name);
// FileName without its leading RootFolder (ASCII letters compared without regard to case)
// and without the separator after it; unchanged when it does not start with RootFolder.
std::string RelativeItemName(const std::string& fileName, const std::string& rootFolder);

}  // namespace voltrane
