// Character encodings: the names an XML declaration may use, the UTF-8 decoder, and the
// conversions between a declared code page and the library's own, UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace voltrane {

// Every text the library hands out after decoding is UTF-8.
constexpr uint16_t kLibraryCodePage = 65001;

struct TXmlEncoding {
  const char* Name;
  uint16_t CodePage;
};
constexpr int kXmlEncodingCount = 23;
extern const TXmlEncoding kXmlEncodings[kXmlEncodingCount];

// The code page of the first table entry whose name equals name, ASCII letters compared
// without regard to case; 0 when none does.
uint16_t FindCodePage(std::string_view name);

// Decodes UTF-8 bytes into UTF-16 units; count is the number of source bytes not yet
// consumed (in and out); gives the number of units written. A sequence cut by the end of
// the source stays unconsumed unless endOfInput is set. A lead byte whose continuation
// bytes are not of the form 10xxxxxx, a sequence cut by the end of input, a stray
// continuation byte and the bytes 0xF8 to 0xFF each give U+FFFD and consume one byte, so
// no markup after a stray byte is swallowed. A four-byte form above U+10FFFF gives "?".
int DecodeUtf8(char16_t* target, int capacity, const unsigned char* source, int& count,
               bool endOfInput = false);

// The length of the longest prefix of text that is well-formed UTF-8 in shortest form, with
// no surrogate and nothing above U+10FFFF: text that the UTF-8 conversion gives back as it
// is. It ends before a sequence that is cut by the end of the text.
size_t CanonicalUtf8Length(const char* text, size_t count);

// UTF-16 units to UTF-8; an unpaired surrogate gives U+FFFD. out needs 3 bytes per unit.
size_t EncodeUtf16AsUtf8(const char16_t* units, size_t count, char* out);

// The UTF-16 units of bytes 0x80-0xFF of a single-byte code page, or nullptr.
const uint16_t* SingleByteTable(uint16_t codePage);

// Converts a block in codePage into the library code page. count is in-out as for
// DecodeUtf8 (only UTF-8 leaves bytes unconsumed); out needs kMaxDecodeGrowth bytes per
// source byte; gives the number of bytes written.
constexpr int kMaxDecodeGrowth = 3;
size_t ConvertToLibraryCodePage(uint16_t codePage, const unsigned char* source, size_t& count,
                                bool endOfInput, char* out);

// Appends text in the library code page converted into codePage. UTF-8 passes through
// byte for byte; a character that a single-byte page cannot show becomes a numeric
// character reference, so a saved text or attribute value loads back unchanged.
void ConvertFromLibraryCodePage(uint16_t codePage, std::string_view text, std::string& out);

}  // namespace voltrane
