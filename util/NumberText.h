// Number text with "." as the decimal point whatever the user's locale.
#pragma once

#include <string>

namespace voltrane {

// Blanks, sign, digits with at most one ".", optional exponent, blanks; anything else,
// and values beyond the floating range, give 0.
double StrToFloatDot(const std::string& text);
// One decimal, "." as the point, a 5 in the next place rounding away from zero.
std::string FloatToStrDot(double value);

}  // namespace voltrane
