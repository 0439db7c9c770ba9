#include "rt/Path.h"

#include <algorithm>

#include "rt/Platform.h"

namespace voltrane {

namespace {

// Where the last delimiter stands, or npos.
size_t LastDelimiter(const std::string& path) {
  auto last = std::find_if(path.rbegin(), path.rend(), IsPathDelimiter);
  return last == path.rend() ? std::string::npos : size_t(path.rend() - last) - 1;
}

}  // namespace

std::string ExtractFilePath(const std::string& path) {
  size_t slash = LastDelimiter(path);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  size_t slash = LastDelimiter(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  return !path.empty() && IsPathDelimiter(path.back()) ? path : path + kPathDelimiter;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  return path.size() > 1 && IsPathDelimiter(path.back()) ? path.substr(0, path.size() - 1) : path;
}

}  // namespace voltrane
