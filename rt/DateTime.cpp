#include "rt/DateTime.h"

#include <algorithm>
#include <cmath>

namespace voltrane {

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kUnixEpochDays = 25569;  // 1970-01-01 counted from 1899-12-30

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = int(doy - (153 * mp + 2) / 5 + 1);
  month = int(mp < 10 ? mp + 3 : mp - 9);
  year = int(yoe + era * 400 + (month <= 2));
}

TDateTime FromMilliseconds(int64_t ms) {
  return double(ms) / double(kMsPerDay);
}

}  // namespace

TDateTime EncodeDateTime(const TDateTimeParts& p) {
  int64_t days = DaysFromCivil(p.Year, p.Month, p.Day) + kUnixEpochDays;
  int64_t ms = ((int64_t(p.Hour) * 60 + p.Minute) * 60 + p.Second) * 1000 + p.Millisecond;
  return FromMilliseconds(days * kMsPerDay + ms);
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  // Values come from files too: NaN decodes as the zero date, anything beyond the years 1 to
  // 9999 as the nearest end of that range, so the arithmetic below never overflows.
  constexpr double kFirstDay = -693593;                              // 0001-01-01
  constexpr double kLastMoment = 2958466 - 1.0 / double(kMsPerDay);  // 9999-12-31 23:59:59.999
  value = std::isnan(value) ? 0 : std::clamp(value, kFirstDay, kLastMoment);
  int64_t total = std::llround(value * double(kMsPerDay));
  int64_t days = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
  int64_t ms = total - days * kMsPerDay;
  TDateTimeParts p;
  CivilFromDays(days - kUnixEpochDays, p.Year, p.Month, p.Day);
  p.Hour = int(ms / 3600000);
  p.Minute = int(ms / 60000 % 60);
  p.Second = int(ms / 1000 % 60);
  p.Millisecond = int(ms % 1000);
  return p;
}

TDateTime UnixToDateTime(int64_t seconds, int64_t nanoseconds) {
  return FromMilliseconds((seconds + kUnixEpochDays * 86400) * 1000 + nanoseconds / 1000000);
}

}  // namespace voltrane
