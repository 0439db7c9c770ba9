#include "rt/AsciiText.h"

#include <algorithm>

namespace voltrane {

std::string AsciiLowerCase(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

}  // namespace voltrane
