// Date-time values read from files may be anything a double holds; each decodes to a date.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rt/DateTime.h"

namespace voltrane {
namespace {

std::string Parts(TDateTime value) {
  TDateTimeParts p = DecodeDateTime(value);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day,
                p.Hour, p.Minute, p.Second, p.Millisecond);
  return text;
}

TEST(DateTimeRange, EveryDoubleDecodesWithinTheYearsOneTo9999) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Parts(std::nan("")), "1899-12-30 00:00:00.000");
  EXPECT_EQ(Parts(inf), "9999-12-31 23:59:59.999");
  EXPECT_EQ(Parts(1e300), "9999-12-31 23:59:59.999");
  EXPECT_EQ(Parts(-inf), "0001-01-01 00:00:00.000");
  EXPECT_EQ(Parts(-1e300), "0001-01-01 00:00:00.000");
  // The ends themselves decode as they are.
  EXPECT_EQ(Parts(-693593), "0001-01-01 00:00:00.000");
  EXPECT_EQ(Parts(2958465.5), "9999-12-31 12:00:00.000");
}

}  // namespace
}  // namespace voltrane
