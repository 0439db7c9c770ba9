// --help, --version and the usage, as a user meets them: the real executable, its exit
// status and the first lines it prints; none of them touches the folder it runs in.
#include <gtest/gtest.h>

#include "RunChecks.h"
#include "TestSupport.h"

namespace voltrane {
namespace {

const std::string kBanner = "VOLTRANE - GGZ file generator 1.0.0.2\n\n";
const std::string kUsage = "Usage:\nvoltrane <source_gpx_files_mask> <destination_ggz_file>\n";
const std::string kHelpStart = kBanner + kUsage + "\nPacks the geocache waypoints of the GPX files";

struct TOptionRun {
  std::vector<std::string> Arguments;
  int ExitCode;
  std::string Output;  // the whole output, or its first lines when Mentions is set
  std::vector<std::string> Mentions;
};

TEST(Options, PrintWhatTheyNameWithTheirStatus) {
  const std::vector<std::string> helpMentions = {"--version", "128+N", "VOLTRANE_THREADS"};
  const TOptionRun runs[] = {
      {{"--help"}, 0, kHelpStart, helpMentions},
      {{"-h"}, 0, kHelpStart, helpMentions},
      {{"--version"}, 0, "voltrane 1.0.0.2\n", {}},
      {{"-V"}, 0, "voltrane 1.0.0.2\n", {}},
      // Anything else keeps the usage: other spellings, and options that are not alone.
      {{}, 2, kBanner + kUsage, {}},
      {{"/?"}, 2, kBanner + kUsage, {}},
      {{"--HELP"}, 2, kBanner + kUsage, {}},
      {{"-v"}, 2, kBanner + kUsage, {}},
      {{"--help "}, 2, kBanner + kUsage, {}},
      {{"--help --version"}, 2, kBanner + kUsage, {}},
  };
  for (const TOptionRun& run : runs) {
    SCOPED_TRACE(run.Arguments.empty() ? "(none)" : run.Arguments[0]);
    test::TTempFolder dir;
    test::WriteFile(dir / "previous.ggz", "PK\x05\x06" + std::string(18, '\0'));
    test::TTreeSnapshot before = test::SnapshotTree(dir.Path());
    std::vector<std::string> argv = run.Arguments;
    argv.insert(argv.begin(), test::VoltraneExe());
    test::TProcessOptions options;
    options.WorkingFolder = dir.Path();
    test::TProcessResult result = test::RunProcess(argv, options);
    EXPECT_EQ(result.ExitCode, run.ExitCode);
    if (run.Mentions.empty())
      EXPECT_EQ(result.Output, run.Output);
    else
      EXPECT_EQ(result.Output.substr(0, run.Output.size()), run.Output);
    for (const std::string& text : run.Mentions)
      EXPECT_NE(result.Output.find(text), std::string::npos) << text;
    test::ExpectTreeUnchanged(before, dir.Path());
  }
}

}  // namespace
}  // namespace voltrane
