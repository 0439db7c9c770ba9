// The bytes of names: a name starts with "_" or a letter (ASCII, or any byte of 128 and
// above, so that UTF-8 names parse) and goes on with letters, digits, "_", "-", "." and ":".
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace voltrane {

namespace xml_detail {

enum : uint8_t { kNameStart = 1, kNameChar = 2 };

inline constexpr std::array<uint8_t, 256> kNameClasses = [] {
  std::array<uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
    bool digit = c >= '0' && c <= '9';
    if (letter || c == '_') classes[size_t(c)] = kNameStart | kNameChar;
    if (digit || c == '-' || c == '.' || c == ':') classes[size_t(c)] = kNameChar;
  }
  return classes;
}();

}  // namespace xml_detail

inline bool IsXmlNameStart(char c) {
  return xml_detail::kNameClasses[static_cast<unsigned char>(c)] & xml_detail::kNameStart;
}
inline bool IsXmlNameChar(char c) {
  return xml_detail::kNameClasses[static_cast<unsigned char>(c)] & xml_detail::kNameChar;
}

inline bool IsXmlName(std::string_view text) {
  if (text.empty() || !IsXmlNameStart(text[0])) return false;
  for (size_t i = 1; i < text.size(); ++i)
    if (!IsXmlNameChar(text[i])) return false;
  return true;
}

}  // namespace voltrane
