#include "util/XmlSafeText.h"

#include <cstdint>

namespace voltrane {

namespace {

// The length of the well-formed UTF-8 sequence at text[at] and its character, or 0 when
// the bytes there are no such sequence (overlong forms and surrogates included).
size_t DecodeUtf8(std::string_view text, size_t at, char32_t& c) {
  auto byte = [&](size_t i) { return at + i < text.size() ? uint8_t(text[at + i]) : 0; };
  uint8_t lead = byte(0);
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (byte(1) < low || byte(1) > high) return 0;
  c = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i) & 0x3F);
  }
  return length;
}

bool XmlAllows(char32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  return c != 0xFFFE && c != 0xFFFF;
}

}  // namespace

std::string ReplaceUnsafeChars(std::string_view text, std::string_view replacement,
                               bool (*alsoReplace)(char32_t)) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    char32_t c = 0;
    size_t length = DecodeUtf8(text, at, c);
    if (length == 0) {  // only this byte: what follows may start a sound sequence
      safe += replacement;
      ++at;
    } else {
      if (!XmlAllows(c) || (alsoReplace && alsoReplace(c))) {
        safe += replacement;
      } else {
        safe.append(text, at, length);
      }
      at += length;
    }
  }
  return safe;
}

std::string XmlSafeText(std::string_view text) {
  return ReplaceUnsafeChars(text, "\xEF\xBF\xBD");
}

}  // namespace voltrane
