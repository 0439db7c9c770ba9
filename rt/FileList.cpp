#include "rt/FileList.h"

#include <algorithm>

#include "rt/AsciiText.h"

namespace voltrane {

bool MatchesMask(const std::string& name, const std::string& mask, bool questionMarkIsWildcard) {
  // Iterative match with one backtrack point: linear enough for file names.
  size_t n = 0, m = 0, starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && ((questionMarkIsWildcard && mask[m] == '?') ||
                            LowerAscii(mask[m]) == LowerAscii(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

void SortByName(std::vector<TFileEntry>& entries) {
  std::sort(entries.begin(), entries.end(),
            [](const TFileEntry& a, const TFileEntry& b) { return a.Name < b.Name; });
}

}  // namespace voltrane
