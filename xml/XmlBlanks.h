// The library's blanks: every byte below 33 (space, tab, line ends and the other control
// characters), as the reader skips them and as texts are trimmed of them.
#pragma once

#include <string_view>

namespace voltrane {

inline bool IsXmlBlank(char c) {
  return static_cast<unsigned char>(c) < 33;
}

inline std::string_view TrimXmlBlanks(std::string_view text) {
  while (!text.empty() && IsXmlBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace voltrane
