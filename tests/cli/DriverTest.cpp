#include <gtest/gtest.h>

#include "cli/Driver.h"
#include "cli/XFiles.h"

namespace voltrane {
namespace {

TEST(Version, ComesFromTheCompiledInVersionBlock) {
  TXFileVersion version;
  EXPECT_EQ(version.GetValue("FileVersion"), "1.0.0.2");
  EXPECT_EQ(version.GetValue("FileDescription"), "GGZ file generator");
  EXPECT_EQ(version.GetValue("ProductVersion"), "1.0.0.0");
  EXPECT_EQ(version.GetValue("ProductName"), "Voltrane");
  EXPECT_EQ(version.GetValue("Comments"), "");
  EXPECT_EQ(GetExeFileVersion(), "1.0.0.2");
}

TEST(Duration, IsTotalHoursThenTwoDigitMinutesAndSeconds) {
  EXPECT_EQ(FormatDuration(65.9), "0:01:05");
  EXPECT_EQ(FormatDuration(0), "0:00:00");
  EXPECT_EQ(FormatDuration(3599.999), "0:59:59");
  EXPECT_EQ(FormatDuration(25 * 3600 + 61), "25:01:01");
  EXPECT_EQ(FormatDuration(-1), "0:00:00");
}

TEST(Driver, UsageForFewerThanTwoArgumentsWithStatusTwo) {
  TStringConsole console;
  EXPECT_EQ(RunDriver({"only-one"}, console), kExitUsage);
  EXPECT_EQ(console.Text,
            "VOLTRANE - GGZ file generator 1.0.0.2\n\nUsage:\n"
            "voltrane <source_gpx_files_mask> <destination_ggz_file>\n");
}

}  // namespace
}  // namespace voltrane
