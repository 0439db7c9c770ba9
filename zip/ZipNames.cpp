#include "zip/ZipNames.h"

#include <algorithm>

namespace voltrane {

namespace {

// Deletes everything through the first occurrence of what (nothing when it is absent).
void DeleteThrough(std::string& text, const std::string& what) {
  size_t at = text.find(what);
  if (at != std::string::npos) text.erase(0, at + what.size());
}

}  // namespace

std::string ToZipName(const std::string& name) {
  std::string result = name;
  std::replace(result.begin(), result.end(), '\\', '/');
  DeleteThrough(result, ":/");
  if (result.find("//") != std::string::npos) {
    DeleteThrough(result, "//");
    DeleteThrough(result, "/");  // the server
    DeleteThrough(result, "/");  // the share
  }
  // On POSIX an absolute path starts at the root instead of a drive: store it relative too.
  size_t first = result.find_first_not_of('/');
  result.erase(0, first == std::string::npos ? result.size() : first);
  return result;
}

std::string ToBackslashName(const std::string& name) {
  std::string result = ToZipName(name);
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

std::string RelativeItemName(const std::string& fileName, const std::string& rootFolder) {
  if (fileName.size() < rootFolder.size() ||
      !SameTextAscii(fileName.substr(0, rootFolder.size()), rootFolder)) {
    return fileName;
  }
  std::string rest = fileName.substr(rootFolder.size());
  if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) rest.erase(0, 1);
  return rest;
}

}  // namespace voltrane
