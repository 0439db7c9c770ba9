#pragma once

#include <string>

namespace voltrane {

// Replaces the double quote, "&", "<" and ">" by their entities; every other byte, the
// apostrophe and control bytes included, stays as it is.
std::string EscapeXmlText(const std::string& text);

}  // namespace voltrane
