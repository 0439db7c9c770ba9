// Paths with "/" as the separator; "the folder part" is everything through the last "/".
#pragma once

#include <string>

namespace voltrane {

// Absolute against the current folder, "." and ".." resolved lexically, wildcards untouched.
std::string ExpandFileName(const std::string& path);
// Everything through the last "/" (empty when there is none).
std::string ExtractFilePath(const std::string& path);
// Everything after the last "/".
std::string ExtractFileName(const std::string& path);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);

// Creates the folder and every missing folder above it; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
bool DirectoryExists(const std::string& path);
// True for anything but a folder (follows links).
bool FileExists(const std::string& path);

}  // namespace voltrane
