#include "xml/XmlEscape.h"

namespace voltrane {

std::string EscapeXmlText(const std::string& text) {
  size_t length = 0;
  for (char c : text) {
    switch (c) {
      case '"':
        length += 6;
        break;
      case '&':
        length += 5;
        break;
      case '<':
      case '>':
        length += 4;
        break;
      default:
        length += 1;
    }
  }
  if (length == text.size()) return text;
  std::string result;
  result.reserve(length);
  for (char c : text) {
    switch (c) {
      case '"':
        result += "&quot;";
        break;
      case '&':
        result += "&amp;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '>':
        result += "&gt;";
        break;
      default:
        result += c;
    }
  }
  return result;
}

}  // namespace voltrane
