#include "xml/XmlVariant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "rt/Exception.h"
#include "xml/XmlBlanks.h"
#include "xml/XmlEncoding.h"

namespace voltrane {

namespace {

bool IsIntegral(uint16_t type) {
  switch (type) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varBoolean:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void RaiseConversion(uint16_t from, const char* to) {
  throw Exception("Could not convert variant of type (" + VarTypeName(from) + ") into type (" + to +
                  ")");
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

// A plain decimal float ("-1.5", "2e3"); false for anything else.
bool ParseDecimalFloat(std::string_view text, double& value) {
  text = TrimXmlBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+'))
      return false;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseDecimalInteger(std::string_view text, int64_t& value) {
  text = TrimXmlBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The float form of XML output: what a 23-character exponent field shows, blanks removed.
std::string FloatToXmlText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "+INF" : "-INF";
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  std::string text(buffer, result.ptr);
  size_t e = text.find('e');
  std::string exponent = text.substr(e + 2);
  return text.substr(0, e) + "E" + text[e + 1] +
         std::string(4 - std::min<size_t>(4, exponent.size()), '0') + exponent;
}

std::string GeneralFloatText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  return std::string(buffer, result.ptr);
}

std::string DateTimeText(TDateTime value, char separator) {
  TDateTimeParts p = DecodeDateTime(value);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4d-%.2d-%.2d%c%.2d:%.2d:%.2d", p.Year, p.Month, p.Day,
                separator, p.Hour, p.Minute, p.Second);
  return buffer;
}

double NumericValue(const TVariant& v) {
  switch (v.VarType()) {
    case varSingle:
    case varDouble:
    case varDate:
      return v.FloatValue();
    case varCurrency:
      return double(v.IntegerValue()) / 10000.0;
    case varLongWord:
      return double(uint32_t(v.IntegerValue()));
    default:
      return double(v.IntegerValue());
  }
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

// --- TVariant

TVariant TVariant::Null() {
  TVariant v;
  v.type_ = varNull;
  return v;
}

TVariant TVariant::Single(float value) {
  TVariant v;
  v.type_ = varSingle;
  v.float_ = double(value);
  return v;
}

TVariant TVariant::DateTime(TDateTime value) {
  TVariant v;
  v.type_ = varDate;
  v.float_ = value;
  return v;
}

TVariant TVariant::Wide(std::u16string_view text) {
  TVariant v;
  v.type_ = varOleStr;
  v.bytes_.assign(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
  return v;
}

TVariant TVariant::Bytes(std::string_view bytes) {
  TVariant v;
  v.type_ = varByteArray;
  v.bytes_.assign(bytes);
  return v;
}

bool TVariant::IsNumeric() const noexcept {
  return IsIntegral(type_) || type_ == varSingle || type_ == varDouble || type_ == varCurrency ||
         type_ == varDate;
}

std::u16string TVariant::WideValue() const {
  std::u16string text(bytes_.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), bytes_.data(), text.size() * sizeof(char16_t));
  return text;
}

// --- conversions

std::string VarTypeName(uint16_t type) {
  switch (type) {
    case varEmpty:
      return "Empty";
    case varNull:
      return "Null";
    case varSmallint:
      return "Smallint";
    case varInteger:
      return "Integer";
    case varSingle:
      return "Single";
    case varDouble:
      return "Double";
    case varCurrency:
      return "Currency";
    case varDate:
      return "Date";
    case varOleStr:
      return "OleStr";
    case varBoolean:
      return "Boolean";
    case varShortInt:
      return "ShortInt";
    case varByte:
      return "Byte";
    case varWord:
      return "Word";
    case varLongWord:
      return "LongWord";
    case varInt64:
      return "Int64";
    case varString:
      return "String";
    case varByteArray:
      return "Array Byte";
    default:
      return "Unknown";
  }
}

std::string ValueToXmlText(const TVariant& value) {
  switch (value.VarType()) {
    case varNull:
      return "{{null}}";
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varInt64:
      return std::to_string(value.IntegerValue());
    case varLongWord:
      return std::to_string(uint32_t(value.IntegerValue()));
    case varSingle:
    case varDouble:
    case varCurrency:
      return FloatToXmlText(NumericValue(value));
    case varDate:
      return DateTimeText(value.FloatValue(), 'T');
    case varBoolean:
      return value.IntegerValue() ? "1" : "0";
    case varString:
      return value.StringValue();
    case varByteArray:
      return EncodeBase64(value.StringValue());
    default:
      return VarToStr(value);
  }
}

std::string VarToStr(const TVariant& value) {
  switch (value.VarType()) {
    case varEmpty:
    case varNull:
      return "";
    case varString:
    case varByteArray:
      return value.StringValue();
    case varOleStr:
      return WideToUtf8(value.WideValue());
    case varBoolean:
      return value.IntegerValue() ? "True" : "False";
    case varSingle:
    case varDouble:
    case varCurrency:
      return GeneralFloatText(NumericValue(value));
    case varDate:
      return DateTimeText(value.FloatValue(), ' ');
    case varLongWord:
      return std::to_string(uint32_t(value.IntegerValue()));
    default:
      return std::to_string(value.IntegerValue());
  }
}

bool VarToBool(const TVariant& value) {
  if (value.IsNumeric()) return NumericValue(value) != 0;
  if (value.IsEmpty()) return false;
  if (value.IsString()) {
    std::string text = VarToStr(value);
    std::string_view trimmed = TrimXmlBlanks(text);
    if (EqualsIgnoringAsciiCase(trimmed, "true")) return true;
    if (EqualsIgnoringAsciiCase(trimmed, "false")) return false;
    double number;
    if (ParseDecimalFloat(trimmed, number)) return number != 0;
  }
  RaiseConversion(value.VarType(), "Boolean");
}

int32_t VarToInt(const TVariant& value) {
  double number;
  if (value.VarType() == varInt64 ||
      (IsIntegral(value.VarType()) && value.VarType() != varLongWord)) {
    int64_t i = value.IntegerValue();
    if (i < INT32_MIN || i > INT32_MAX) RaiseConversion(value.VarType(), "Integer");
    return int32_t(i);
  }
  if (value.IsNumeric()) {
    number = NumericValue(value);
  } else if (value.IsEmpty()) {
    return 0;
  } else if (value.IsString()) {
    std::string text = VarToStr(value);
    int64_t i;
    if (ParseDecimalInteger(text, i)) {
      if (i < INT32_MIN || i > INT32_MAX) RaiseConversion(value.VarType(), "Integer");
      return int32_t(i);
    }
    if (!ParseDecimalFloat(text, number)) RaiseConversion(value.VarType(), "Integer");
  } else {
    RaiseConversion(value.VarType(), "Integer");
  }
  double rounded = std::nearbyint(number);  // half to even
  if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) RaiseConversion(value.VarType(), "Integer");
  return int32_t(rounded);
}

double VarToFloat(const TVariant& value) {
  if (value.IsNumeric()) return NumericValue(value);
  if (value.IsEmpty()) return 0;
  double number;
  if (value.IsString() && ParseDecimalFloat(VarToStr(value), number)) return number;
  RaiseConversion(value.VarType(), "Double");
}

TDateTime VarToDateTime(const TVariant& value) {
  if (value.IsNumeric()) return NumericValue(value);
  if (value.IsEmpty()) return 0;
  if (value.IsString()) return XmlTextToDateTime(VarToStr(value));
  RaiseConversion(value.VarType(), "Date");
}

bool VarEquals(const TVariant& a, const TVariant& b) {
  if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  if (a.IsNumeric() && b.IsNumeric()) {
    if (IsIntegral(a.VarType()) && IsIntegral(b.VarType()) && a.VarType() != varLongWord &&
        b.VarType() != varLongWord)
      return a.IntegerValue() == b.IntegerValue();
    return NumericValue(a) == NumericValue(b);
  }
  if (a.IsNumeric() || b.IsNumeric()) return VarToFloat(a) == VarToFloat(b);
  return VarToStr(a) == VarToStr(b);
}

TDateTime XmlTextToDateTime(std::string_view text) {
  static constexpr char kSeparators[] = {'-', '-', 'T', ':', ':'};
  int values[6] = {0, 0, 0, 0, 0, 0};
  size_t pos = 0;
  for (int i = 0; i < 6; ++i) {
    int64_t number = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (number < 100000) number = number * 10 + (text[pos] - '0');
      ++pos;
    }
    values[i] = int(number);
    if (i == 5 || pos >= text.size() || text[pos] != kSeparators[i]) break;
    ++pos;
  }
  TDateTimeParts parts;
  parts.Year = values[0];
  parts.Month = values[1];
  parts.Day = values[2];
  parts.Hour = values[3];
  parts.Minute = values[4];
  parts.Second = values[5];
  parts.Millisecond = 0;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = parts.Year % 4 == 0 && (parts.Year % 100 != 0 || parts.Year % 400 == 0);
  bool valid = parts.Year >= 1 && parts.Year <= 9999 && parts.Month >= 1 && parts.Month <= 12 &&
               parts.Day >= 1 &&
               parts.Day <= kDays[parts.Month - 1] + (parts.Month == 2 && leap ? 1 : 0) &&
               parts.Hour < 24 && parts.Minute < 60 && parts.Second < 60;
  if (!valid) throw Exception("'" + std::string(text) + "' is not a valid date and time");
  return EncodeDateTime(parts);
}

double XmlTextToFloat(std::string_view text) {
  std::string_view trimmed = TrimXmlBlanks(text);
  if (EqualsIgnoringAsciiCase(trimmed, "INF") || EqualsIgnoringAsciiCase(trimmed, "+INF"))
    return std::numeric_limits<double>::infinity();
  if (EqualsIgnoringAsciiCase(trimmed, "-INF")) return -std::numeric_limits<double>::infinity();
  if (EqualsIgnoringAsciiCase(trimmed, "NAN")) return std::numeric_limits<double>::quiet_NaN();
  double value;
  if (!ParseDecimalFloat(trimmed, value))
    throw Exception("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

std::string EncodeBase64(std::string_view bytes, int lineLength) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  int column = 0;
  auto put = [&](char c) {
    if (lineLength > 0 && column == lineLength) {
      out += "\r\n";
      column = 0;
    }
    out += c;
    ++column;
  };
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t n = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 |
                 uint8_t(bytes[i + 2]);
    put(kBase64Alphabet[n >> 18]);
    put(kBase64Alphabet[(n >> 12) & 63]);
    put(kBase64Alphabet[(n >> 6) & 63]);
    put(kBase64Alphabet[n & 63]);
  }
  if (size_t rest = bytes.size() - i) {
    uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
    if (rest == 2) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    put(kBase64Alphabet[n >> 18]);
    put(kBase64Alphabet[(n >> 12) & 63]);
    put(rest == 2 ? kBase64Alphabet[(n >> 6) & 63] : '=');
    put('=');
  }
  return out;
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t group = 0;
  int filled = 0, padding = 0;
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b < 33) continue;
    int value;
    if (c == '=') {
      value = 0;
      ++padding;
    } else {
      const char* found = std::strchr(kBase64Alphabet, c);
      if (!found || c == '\0' || padding > 0)
        throw Exception("Invalid character in base64 text: '" + std::string(1, c) + "'");
      value = int(found - kBase64Alphabet);
    }
    group = group << 6 | uint32_t(value);
    if (++filled == 4) {
      int bytes = 3 - std::min(padding, 2);
      out += char(group >> 16);
      if (bytes > 1) out += char(group >> 8);
      if (bytes > 2) out += char(group);
      group = 0;
      filled = 0;
      if (padding > 0) break;
    }
  }
  return out;
}

std::string WideToUtf8(std::u16string_view text) {
  std::string out(text.size() * 3, '\0');
  out.resize(EncodeUtf16AsUtf8(text.data(), text.size(), out.data()));
  return out;
}

std::u16string Utf8ToWide(std::string_view text) {
  std::u16string out(text.size() + 1, u'\0');
  int count = int(text.size());
  int n = DecodeUtf8(out.data(), int(out.size()),
                     reinterpret_cast<const unsigned char*>(text.data()), count, true);
  out.resize(size_t(n));
  return out;
}

}  // namespace voltrane
