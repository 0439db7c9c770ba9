#include "util/StringUtil.h"

namespace voltrane {

std::string TextAfter(const std::string& text, const std::string& delimiter) {
  if (delimiter.empty()) return text;
  size_t at = text.find(delimiter);
  return at == std::string::npos ? text : text.substr(at + delimiter.size());
}

std::string ReplaceAll(const std::string& text, const std::string& search,
                       const std::string& replacement) {
  if (text.empty() || search.empty()) return text;
  std::string result;
  size_t from = 0;
  for (size_t at; (at = text.find(search, from)) != std::string::npos; from = at + search.size())
    result.append(text, from, at - from).append(replacement);
  return result.append(text, from, std::string::npos);
}

}  // namespace voltrane
