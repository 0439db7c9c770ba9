// The variant value of attributes, text nodes and element data: a tagged value whose type
// codes are those of the OLE Automation VARIANT, plus 256 for an 8-bit string and 0x2011
// for an array of bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rt/DateTime.h"

namespace voltrane {

enum TVarType : uint16_t {
  varEmpty = 0,
  varNull = 1,
  varSmallint = 2,
  varInteger = 3,
  varSingle = 4,
  varDouble = 5,
  varCurrency = 6,  // 64-bit integer holding the amount times 10,000
  varDate = 7,      // days since 1899-12-30
  varOleStr = 8,    // wide (UTF-16) string
  varBoolean = 11,
  varShortInt = 16,
  varByte = 17,
  varWord = 18,
  varLongWord = 19,
  varInt64 = 20,
  varString = 256,  // 8-bit string
  varByteArray = 0x2011,
};

class TVariant {
 public:
  TVariant() noexcept = default;  // empty
  TVariant(const std::string& text) : type_(varString), bytes_(text) {}
  TVariant(std::string&& text) noexcept : type_(varString), bytes_(std::move(text)) {}
  TVariant(std::string_view text) : type_(varString), bytes_(text) {}
  TVariant(const char* text) : type_(varString), bytes_(text) {}
  TVariant(int32_t value) noexcept : type_(varInteger), int_(value) {}
  TVariant(int64_t value) noexcept : type_(varInt64), int_(value) {}
  TVariant(double value) noexcept : type_(varDouble), float_(value) {}
  TVariant(bool value) noexcept : type_(varBoolean), int_(value ? 1 : 0) {}

  static TVariant Null();
  static TVariant Smallint(int16_t value) { return Integral(varSmallint, value); }
  static TVariant ShortInt(int8_t value) { return Integral(varShortInt, value); }
  static TVariant Byte(uint8_t value) { return Integral(varByte, value); }
  static TVariant Word(uint16_t value) { return Integral(varWord, value); }
  static TVariant LongWord(uint32_t value) { return Integral(varLongWord, value); }
  static TVariant Single(float value);
  static TVariant Currency(int64_t scaledBy10000) { return Integral(varCurrency, scaledBy10000); }
  static TVariant DateTime(TDateTime value);
  static TVariant Wide(std::u16string_view text);
  static TVariant Bytes(std::string_view bytes);

  uint16_t VarType() const noexcept { return type_; }
  bool IsEmpty() const noexcept { return type_ == varEmpty; }
  bool IsNull() const noexcept { return type_ == varNull; }
  bool IsString() const noexcept { return type_ == varString || type_ == varOleStr; }
  // An integer, float, currency, date-time or boolean kind.
  bool IsNumeric() const noexcept;

  // The integer of an integral, currency (scaled) or boolean kind.
  int64_t IntegerValue() const noexcept { return int_; }
  // The number of a float or date-time kind.
  double FloatValue() const noexcept { return float_; }
  // The bytes of an 8-bit string or byte array.
  const std::string& StringValue() const noexcept { return bytes_; }
  std::u16string WideValue() const;

  friend bool operator==(const TVariant& a, const TVariant& b) = delete;  // see VarEquals

 private:
  static TVariant Integral(uint16_t type, int64_t value) {
    TVariant v;
    v.type_ = type;
    v.int_ = value;
    return v;
  }

  uint16_t type_ = varEmpty;
  union {
    int64_t int_ = 0;
    double float_;
  };
  std::string bytes_;  // 8-bit string, byte array, or the UTF-16 units of a wide string
};

// The name of a kind as conversion errors show it ("String", "Int64", ...).
std::string VarTypeName(uint16_t type);

// The text of a value in XML output: "{{null}}" for null, decimal integers, floats in the
// 23-character exponent form without leading blanks, "yyyy-mm-ddThh:nn:ss" for date-times,
// "0"/"1" for booleans, wide strings as UTF-8, byte arrays in base64.
std::string ValueToXmlText(const TVariant& value);

// The general conversions of the runtime.
// Text: empty and null give "", an 8-bit string itself, booleans "True"/"False", floats
// the shortest text of up to 15 significant digits with "." as decimal point.
std::string VarToStr(const TVariant& value);
// Numbers are true when not 0; texts "true"/"false" in any case, or numbers.
bool VarToBool(const TVariant& value);
// Floats round half to even; text is read as a decimal integer. Out of range raises.
int32_t VarToInt(const TVariant& value);
// Any numeric kind as a float; text read with "." as decimal point.
double VarToFloat(const TVariant& value);
// Date-times and numbers as days; text read as "yyyy-mm-ddThh:nn:ss".
TDateTime VarToDateTime(const TVariant& value);
// Equality as the runtime compares variants: texts byte for byte, numbers by value, a text
// against a number as numbers (a text that is no number raises), empty equal only to empty.
bool VarEquals(const TVariant& a, const TVariant& b);

// Reads six decimal numbers ended by "-", "-", "T", ":", ":" and the end of the text; a
// number not followed by its separator leaves the later ones 0. An impossible date raises.
TDateTime XmlTextToDateTime(std::string_view text);
// Reads a float with "." as decimal point, or "INF", "+INF", "-INF", "NAN" in any case;
// anything else raises "'%s' is not a valid floating point value".
double XmlTextToFloat(std::string_view text);

// Base64 (RFC 4648 alphabet, "=" padding). lineLength > 0 breaks the text by "\r\n".
std::string EncodeBase64(std::string_view bytes, int lineLength = 0);
// Bytes below 33 are ignored; only whole groups of four characters give bytes.
std::string DecodeBase64(std::string_view text);

// UTF-16 to UTF-8 and back; an unpaired surrogate or an undecodable byte gives U+FFFD.
std::string WideToUtf8(std::u16string_view text);
std::u16string Utf8ToWide(std::string_view text);

}  // namespace voltrane
