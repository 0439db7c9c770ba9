// Turning file paths into stored member names and comparing names.
#pragma once

#include <string>

namespace voltrane {

// "\" becomes "/"; a drive prefix (through the first ":/"), a server and share prefix (from
// "//" through the share's "/") and leading "/" (the POSIX root) are dropped.
std::string ToZipName(const std::string& name);
// ToZipName with every "/" turned back into "\".
std::string ToBackslashName(const std::string& name);
// FileName without its leading RootFolder (ASCII letters compared without regard to case)
// and without the separator after it; unchanged when it does not start with RootFolder.
std::string RelativeItemName(const std::string& fileName, const std::string& rootFolder);
// Whole strings equal, ASCII letters compared without regard to case.
bool SameTextAscii(const std::string& a, const std::string& b);
// The mask against a whole path: "*" any run of bytes, every other byte itself (ASCII
// letters without regard to case).
bool MatchesWildCard(const std::string& path, const std::string& wildCard);

}  // namespace voltrane
