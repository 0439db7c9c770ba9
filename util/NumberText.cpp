#include "util/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace voltrane {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

double StrToFloatDot(const std::string& text) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  size_t end = n;
  while (end > i && text[end - 1] == ' ') --end;
  std::string number;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  size_t digits = 0, points = 0;
  for (; i < end && (IsDigit(text[i]) || text[i] == '.'); ++i) {
    text[i] == '.' ? ++points : ++digits;
    number += text[i];
  }
  if (digits == 0 || points > 1) return 0;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    number += 'e';
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) number += text[i++];
    size_t expDigits = 0;
    for (; i < end && IsDigit(text[i]); ++i, ++expDigits) number += text[i];
    if (expDigits == 0) return 0;
  }
  if (i != end) return 0;
  double value = 0;
  auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0;
  return value;
}

std::string FloatToStrDot(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // Rounds the 15-significant-digit decimal form, so 0.15 gives 0.2 as a reader expects,
  // not the 0.1 that its binary value (0.1499...) would give.
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
  std::string digits;
  for (const char* p = buffer; *p && *p != 'e'; ++p)
    if (IsDigit(*p)) digits += *p;
  int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
  // digits holds d1 d2 ... with the point after d1 scaled by 10^exponent; keep the
  // digits down to the tenths.
  int keep = exponent + 2;  // integer digits plus one decimal
  std::string kept;
  if (keep <= 0) {
    kept = "0";
  } else {
    kept = digits.substr(0, size_t(std::min<int>(keep, int(digits.size()))));
    while (int(kept.size()) < keep) kept += '0';
    if (keep < int(digits.size()) && digits[size_t(keep)] >= '5') {
      int k = int(kept.size()) - 1;
      while (k >= 0 && kept[size_t(k)] == '9') kept[size_t(k--)] = '0';
      if (k < 0)
        kept.insert(kept.begin(), '1');
      else
        ++kept[size_t(k)];
    }
  }
  if (keep == 0 && digits[0] >= '5') kept = "1";  // 0.05 .. 0.0999 round up to 0.1
  while (kept.size() < 2) kept.insert(kept.begin(), '0');
  std::string result = kept.substr(0, kept.size() - 1) + "." + kept.back();
  bool zero = result.find_first_not_of("0.") == std::string::npos;
  return value < 0 && !zero ? "-" + result : result;
}

}  // namespace voltrane
