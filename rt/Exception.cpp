#include "rt/Exception.h"

#include "rt/Platform.h"

namespace voltrane {

std::string SysErrorText(int errorNumber) {
  std::string text = SystemErrorMessage(errorNumber);
  while (!text.empty()) {
    char last = text.back();
    if (last != ' ' && last != '\r' && last != '\n' && last != '.' && last != '\t') break;
    text.pop_back();
  }
  return text;
}

void Exception::ReplaceQuotedPaths(const std::string& prefix, const std::string& replacement) {
  const std::string quotedPrefix = "\"" + prefix;
  for (size_t at = message_.find(quotedPrefix); at != std::string::npos;
       at = message_.find(quotedPrefix, at + replacement.size() + 2)) {
    size_t end = message_.find('"', at + quotedPrefix.size());
    if (end == std::string::npos) break;
    message_.replace(at + 1, end - at - 1, replacement);
  }
}

}  // namespace voltrane
