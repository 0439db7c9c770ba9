#include "zip/ZipNames.h"

#include <algorithm>

namespace voltrane {

namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

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

bool SameTextAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool MatchesWildCard(const std::string& path, const std::string& wildCard) {
  // Iterative match with one backtrack point: linear enough for paths.
  size_t p = 0, w = 0, starW = std::string::npos, starP = 0;
  while (p < path.size()) {
    if (w < wildCard.size() && wildCard[w] == '*') {
      starW = w++;
      starP = p;
    } else if (w < wildCard.size() && LowerAscii(wildCard[w]) == LowerAscii(path[p])) {
      ++p;
      ++w;
    } else if (starW != std::string::npos) {
      w = starW + 1;
      p = ++starP;
    } else {
      return false;
    }
  }
  while (w < wildCard.size() && wildCard[w] == '*') ++w;
  return w == wildCard.size();
}

}  // namespace voltrane
