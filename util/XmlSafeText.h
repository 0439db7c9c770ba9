// Text that an XML 1.0 reader accepts, whatever bytes it came from.
#pragma once

#include <string>
#include <string_view>

namespace voltrane {

// Copies text with replacement put in place of each byte of a sequence that is not UTF-8,
// of each character XML 1.0 forbids (C0 controls but tab, LF and CR; U+FFFE; U+FFFF; a
// surrogate cannot be encoded in UTF-8 and so counts as such bytes), and of each character
// for which alsoReplace, when given, is true.
std::string ReplaceUnsafeChars(std::string_view text, std::string_view replacement,
                               bool (*alsoReplace)(char32_t) = nullptr);

// The text with every unsafe part replaced by U+FFFD, as the index writes its values.
std::string XmlSafeText(std::string_view text);

}  // namespace voltrane
