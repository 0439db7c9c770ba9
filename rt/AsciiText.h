// Case-insensitive comparison as on the original platform: ASCII letters only, so other
// bytes (UTF-8 included) compare exactly.
#pragma once

#include <string>

namespace voltrane {

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}
// Only "A" to "Z" change.
std::string AsciiLowerCase(std::string text);
// Whole strings equal, ASCII letters compared without regard to case.
bool SameTextAscii(const std::string& a, const std::string& b);

}  // namespace voltrane
