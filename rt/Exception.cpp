#include "rt/Exception.h"

#include <cstring>

namespace voltrane {

std::string SysErrorText(int errorNumber) {
  std::string text = std::strerror(errorNumber);
  while (!text.empty()) {
    char last = text.back();
    if (last != ' ' && last != '\r' && last != '\n' && last != '.' && last != '\t') break;
    text.pop_back();
  }
  return text;
}

}  // namespace voltrane
