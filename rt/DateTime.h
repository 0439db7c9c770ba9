// Date-time values: days since 1899-12-30, the time of day as the fraction.
#pragma once

#include <cstdint>

namespace voltrane {

using TDateTime = double;

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

TDateTime EncodeDateTime(const TDateTimeParts& parts);
// Rounded to the nearest millisecond; NaN gives 1899-12-30, values outside the years 1 to 9999
// give 0001-01-01 00:00:00.000 or 9999-12-31 23:59:59.999.
TDateTimeParts DecodeDateTime(TDateTime value);

// The value of a moment given as seconds and nanoseconds since 1970-01-01 UTC, without
// any time zone applied (so it is a UTC value).
TDateTime UnixToDateTime(int64_t seconds, int64_t nanoseconds);
// The same moment in local wall-clock time, as the C library's time zone gives it.
TDateTime UnixToLocalDateTime(int64_t seconds, int64_t nanoseconds);

// Local wall-clock time now, to the millisecond.
TDateTime Now();

}  // namespace voltrane
