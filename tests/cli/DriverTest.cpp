// The banner's version block, the Duration line, and --help, --version and the usage as a user
// meets them: the real executable, its status and what it prints, the folder left untouched.
#include <gtest/gtest.h>

#include "RunChecks.h"
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

using Options = test::TToolRun;

TEST_F(Options, PrintWhatTheyNameWithTheirStatus) {
  const std::string usage =
      test::kBanner + "Usage:\nvoltrane <source_gpx_files_mask> <destination_ggz_file>\n";
  const std::string help = usage + "\nPacks the geocache waypoints of the GPX files";
  // Anything else keeps the usage: no argument or a single source, other spellings, options
  // that are not alone.
  for (const char* argument : {"--help", "-h", "--version", "-V", "", "a.gpx", "/?", "--HELP", "-v",
                               "--help ", "--help --version"}) {
    SCOPED_TRACE(argument);
    test::TProcessResult result =
        Run(*argument ? std::vector<std::string>{argument} : std::vector<std::string>(), "");
    std::string a = argument, output = a == "--help" || a == "-h" ? help : usage;
    if (a == "--version" || a == "-V") output = "voltrane 1.0.0.2\n";
    EXPECT_EQ(result.ExitCode, output == usage ? 2 : 0);
    bool isHelp = output == help;
    EXPECT_EQ(result.Output.substr(0, isHelp ? help.size() : std::string::npos), output);
    for (const char* text : {"--version", "128+N", "VOLTRANE_THREADS"})
      EXPECT_TRUE(!isHelp || result.Output.find(text) != std::string::npos) << text;
  }
}

}  // namespace
}  // namespace voltrane
