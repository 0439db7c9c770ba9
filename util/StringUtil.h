// Byte-string helpers that know nothing of character sets.
#pragma once

#include <string>

namespace voltrane {

// The text after the first occurrence of the delimiter; the whole text when there is none
// or the delimiter is empty.
std::string TextAfter(const std::string& text, const std::string& delimiter);
// Every non-overlapping occurrence replaced, scanning left to right. A helper of the
// library's interface that the run never calls.
std::string ReplaceAll(const std::string& text, const std::string& search,
                       const std::string& replacement);

}  // namespace voltrane
