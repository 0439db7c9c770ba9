#include "xml/XmlEncoding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "xml/XmlCodePageTables.h"
#include "xml/XmlUtf8Scan.h"

namespace voltrane {

const TXmlEncoding kXmlEncodings[kXmlEncodingCount] = {
    {"UTF-8", 65001},       {"WINDOWS-1250", 1250}, {"WINDOWS-1251", 1251}, {"WINDOWS-1252", 1252},
    {"WINDOWS-1253", 1253}, {"WINDOWS-1254", 1254}, {"WINDOWS-1255", 1255}, {"WINDOWS-1256", 1256},
    {"WINDOWS-1257", 1257}, {"WINDOWS-1258", 1258}, {"ISO-8859-1", 28591},  {"ISO-8859-2", 28592},
    {"ISO-8859-3", 28593},  {"ISO-8859-4", 28594},  {"ISO-8859-5", 28595},  {"ISO-8859-6", 28596},
    {"ISO-8859-7", 28597},  {"ISO-8859-8", 28598},  {"ISO-8859-9", 28599},  {"ISO-8859-13", 28603},
    {"ISO-8859-15", 28605}, {"KOI8-R", 20866},      {"KOI8-U", 21866},
};

namespace {

constexpr char16_t kReplacement = 0xFFFD;

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// Length of the sequence a lead byte starts; 0 for a byte that cannot start one.
int SequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 0;
}

bool IsHighSurrogate(uint32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes the sequence at s (left bytes available): gives the bytes it takes, or 0 when it
// is cut by the end of the bytes and more input may follow. value is a UTF-16 unit (a
// three-byte form of a surrogate stays one) or a code point above 0xFFFF.
int DecodeSequence(const unsigned char* s, int left, bool endOfInput, uint32_t& value) {
  unsigned char b = s[0];
  int length = SequenceLength(b);
  if (length == 1) {
    value = b;
    return 1;
  }
  bool broken = length == 0;
  if (!broken) {
    int available = std::min(left, length);
    for (int i = 1; i < available && !broken; ++i) broken = !IsContinuation(s[i]);
    if (!broken && available < length) {
      if (!endOfInput) return 0;
      broken = true;
    }
  }
  if (broken) {
    value = kReplacement;
    return 1;
  }
  if (length == 2) {
    value = ((b & 0x1Fu) << 6) | (s[1] & 0x3Fu);
  } else if (length == 3) {
    value = ((b & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu);
  } else {
    // An overlong four-byte form is taken like the shorter overlong forms.
    value = ((b & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3Fu);
    if (value >= 0x110000 || (value >= 0xD800 && value <= 0xDFFF)) value = '?';
  }
  return length;
}

char* PutUtf8(uint32_t c, char* out) {
  if (c < 0x80) {
    *out++ = char(c);
  } else if (c < 0x800) {
    *out++ = char(0xC0 | (c >> 6));
    *out++ = char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = char(0xE0 | (c >> 12));
    *out++ = char(0x80 | ((c >> 6) & 0x3F));
    *out++ = char(0x80 | (c & 0x3F));
  } else {
    *out++ = char(0xF0 | (c >> 18));
    *out++ = char(0x80 | ((c >> 12) & 0x3F));
    *out++ = char(0x80 | ((c >> 6) & 0x3F));
    *out++ = char(0x80 | (c & 0x3F));
  }
  return out;
}

// UTF-8 to UTF-16 and back in one pass, with the result of DecodeUtf8 over the whole block
// followed by EncodeUtf16AsUtf8: surrogates written as three-byte forms join when a high one
// is directly followed by a low one in the block, and become U+FFFD otherwise. Canonical runs
// come out as they went in, so they are copied; only the rest is decoded.
size_t ConvertUtf8Block(const unsigned char* source, size_t& count, bool endOfInput, char* out) {
  char* start = out;
  size_t i = 0;
  const size_t n = count;
  while (i < n) {
    size_t run = CanonicalUtf8Length(reinterpret_cast<const char*>(source + i), n - i);
    std::memcpy(out, source + i, run);
    out += run;
    i += run;
    if (i == n) break;
    uint32_t value;
    int used = DecodeSequence(source + i, int(std::min<size_t>(n - i, 4)), endOfInput, value);
    if (used == 0) break;  // cut by the block end: waits for the next block
    if (IsHighSurrogate(value)) {
      uint32_t low = 0;
      size_t next = i + size_t(used);
      int usedLow = next < n ? DecodeSequence(source + next, int(std::min<size_t>(n - next, 4)),
                                              endOfInput, low)
                             : 0;
      if (usedLow > 0 && IsLowSurrogate(low)) {
        value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
        used += usedLow;
      } else {
        value = kReplacement;
      }
    } else if (IsLowSurrogate(value)) {
      value = kReplacement;
    }
    out = PutUtf8(value, out);
    i += size_t(used);
  }
  count = n - i;
  return size_t(out - start);
}

// Reverse tables of the single-byte pages: (unit, byte) sorted by unit.
using TReverseTable = std::vector<std::pair<uint16_t, uint8_t>>;

const TReverseTable& ReverseTable(int pageIndex) {
  static const std::array<TReverseTable, kSingleByteCodePageCount> tables = [] {
    std::array<TReverseTable, kSingleByteCodePageCount> result;
    for (int p = 0; p < kSingleByteCodePageCount; ++p) {
      for (int i = 0; i < 128; ++i) {
        uint16_t unit = kSingleByteCodePages[p].Upper[i];
        if (unit != kReplacement) result[p].emplace_back(unit, uint8_t(0x80 + i));
      }
      std::stable_sort(result[p].begin(), result[p].end(),
                       [](auto& a, auto& b) { return a.first < b.first; });
    }
    return result;
  }();
  return tables[size_t(pageIndex)];
}

int SingleBytePageIndex(uint16_t codePage) {
  for (int i = 0; i < kSingleByteCodePageCount; ++i)
    if (kSingleByteCodePages[i].CodePage == codePage) return i;
  return -1;
}

}  // namespace

uint16_t FindCodePage(std::string_view name) {
  for (const TXmlEncoding& entry : kXmlEncodings) {
    std::string_view entryName(entry.Name);
    if (entryName.size() != name.size()) continue;
    bool equal = true;
    for (size_t i = 0; i < name.size() && equal; ++i)
      equal = AsciiUpper(name[i]) == AsciiUpper(entryName[i]);
    if (equal) return entry.CodePage;
  }
  return 0;
}

int DecodeUtf8(char16_t* target, int capacity, const unsigned char* source, int& count,
               bool endOfInput) {
  int written = 0;
  const unsigned char* s = source;
  int left = count;
  while (left >= 1 && written < capacity) {
    if (*s < 0x80) {
      target[written++] = *s++;
      --left;
      continue;
    }
    if (SequenceLength(*s) == 4 && capacity - written < 2) break;
    uint32_t value;
    int used = DecodeSequence(s, left, endOfInput, value);
    if (used == 0) break;  // cut by the block end: waits for the next block
    if (value < 0x10000) {
      target[written++] = char16_t(value);
    } else {
      target[written++] = char16_t(0xD800 + ((value - 0x10000) >> 10));
      target[written++] = char16_t(0xDC00 + (value & 0x3FF));
    }
    s += used;
    left -= used;
  }
  count = left;
  return written;
}

size_t CanonicalUtf8Length(const char* text, size_t count) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  constexpr uint64_t kHighs = 0x8080808080808080u;
  size_t i = CanonicalUtf8Scan(s, count);
  while (i < count) {
    // ASCII eight bytes at a time, up to the first byte with its high bit set.
    while (i + 8 <= count) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      uint64_t highs = word & kHighs;
      if (highs) {
        if constexpr (std::endian::native == std::endian::little)
          i += size_t(std::countr_zero(highs)) / 8;
        break;
      }
      i += 8;
    }
    if (i == count) break;
    unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    auto tail = [&](size_t k) { return (s[i + k] & 0xC0) == 0x80; };
    if (b < 0xC2) break;  // a stray continuation byte or an overlong two-byte form
    if (b < 0xE0) {
      if (i + 2 > count || !tail(1)) break;
      i += 2;
    } else if (b < 0xF0) {
      // E0 needs A0 and up (shorter forms are overlong); ED below A0 (above are surrogates).
      if (i + 3 > count) break;
      unsigned char low = b == 0xE0 ? 0xA0 : 0x80, high = b == 0xED ? 0x9F : 0xBF;
      if (s[i + 1] < low || s[i + 1] > high || !tail(2)) break;
      i += 3;
    } else if (b < 0xF5) {
      // F0 needs 90 and up (overlong below); F4 up to 8F (above is past U+10FFFF).
      if (i + 4 > count) break;
      unsigned char low = b == 0xF0 ? 0x90 : 0x80, high = b == 0xF4 ? 0x8F : 0xBF;
      if (s[i + 1] < low || s[i + 1] > high || !tail(2) || !tail(3)) break;
      i += 4;
    } else {
      break;
    }
  }
  return i;
}

size_t EncodeUtf16AsUtf8(const char16_t* units, size_t count, char* out) {
  char* start = out;
  for (size_t i = 0; i < count; ++i) {
    uint32_t u = units[i];
    if (u < 0x80) {
      *out++ = char(u);
    } else if (IsHighSurrogate(u) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
      uint32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      out = PutUtf8(c, out);
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      out = PutUtf8(kReplacement, out);
    } else {
      out = PutUtf8(u, out);
    }
  }
  return size_t(out - start);
}

const uint16_t* SingleByteTable(uint16_t codePage) {
  int index = SingleBytePageIndex(codePage);
  return index < 0 ? nullptr : kSingleByteCodePages[index].Upper;
}

size_t ConvertToLibraryCodePage(uint16_t codePage, const unsigned char* source, size_t& count,
                                bool endOfInput, char* out) {
  if (codePage == 65001) return ConvertUtf8Block(source, count, endOfInput, out);
  const uint16_t* table = SingleByteTable(codePage);
  char* start = out;
  for (size_t i = 0; i < count; ++i) {
    unsigned char b = source[i];
    if (b < 0x80 || !table)
      *out++ = char(b);
    else
      out = PutUtf8(table[b - 0x80], out);
  }
  count = 0;
  return size_t(out - start);
}

void ConvertFromLibraryCodePage(uint16_t codePage, std::string_view text, std::string& out) {
  int page = SingleBytePageIndex(codePage);
  if (codePage == 65001 || page < 0) {
    out.append(text);
    return;
  }
  const TReverseTable& reverse = ReverseTable(page);
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    if (*s < 0x80) {
      out += char(*s++);
      --left;
      continue;
    }
    uint32_t c;
    int used = DecodeSequence(s, int(std::min<size_t>(left, 4)), true, c);
    s += used;
    left -= size_t(used);
    if (IsHighSurrogate(c) || IsLowSurrogate(c)) c = kReplacement;
    auto found = std::lower_bound(reverse.begin(), reverse.end(), c,
                                  [](auto& entry, uint32_t value) { return entry.first < value; });
    if (found != reverse.end() && found->first == c)
      out += char(found->second);
    else
      out += "&#" + std::to_string(c) + ";";
  }
}

}  // namespace voltrane
