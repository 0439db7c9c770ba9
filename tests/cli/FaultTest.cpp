// The real executable against bad input, full disks and signals: it ends with a clear
// error (or finishes), and the destination folder holds what it held before plus, on
// success, the archive.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <regex>

#include "GpxFixtures.h"
#include "RunChecks.h"
#include "TestSupport.h"

namespace voltrane {
namespace {

using test::Letters;
using test::Waypoint;

using test::ListNames;
using test::ReadFile;
using test::TProcessOptions;
using test::TProcessResult;
using test::WriteFile;

using test::kPreviousArchive;
using test::LastLine;

class Faults : public ::testing::Test {
 protected:
  // Runs voltrane on the sources in the folder: a failure leaves the folder as it was, a
  // success changes only the archive.
  TProcessResult Run(std::vector<std::string> args, TProcessOptions options = {}) {
    args.insert(args.begin(), test::VoltraneExe());
    return test::RunWatched(dir.Path(), args, options, [](const TProcessResult& result) {
      return result.ExitCode == 0 ? "out.ggz" : "";
    });
  }
  test::TTempFolder dir;
};

TEST_F(Faults, SourcesThatAreNotGpxGiveAnArchiveWithoutChunks) {
  WriteFile(dir / "binary.gpx",
            std::string("\x00\xff\x89PNG\r\n\x1a\n<\x00wp", 12) + Letters(5000, 1));
  WriteFile(dir / "empty.gpx", "");
  WriteFile(dir / "lt.gpx", "<");
  TProcessResult result = Run({"*.gpx", "out.ggz"});
  EXPECT_EQ(result.ExitCode, 0);
  EXPECT_EQ(result.Output.find("Writing:"), std::string::npos);
}

TEST_F(Faults, TruncatedWaypointEndsTheRunNamingWhereItStarts) {
  WriteFile(dir / "cut.gpx",
            test::kGpxHeader + Waypoint("GC1") + "<wpt lat=\"1\"><name>GC2</name><desc>cut here");
  WriteFile(dir / "out.ggz", kPreviousArchive);
  TProcessResult result = Run({"cut.gpx", "out.ggz"});
  EXPECT_EQ(result.ExitCode, 1);
  // The end tag of desc is missing: the source's "</gpx>" is where the parser stops.
  EXPECT_EQ(LastLine(result.Output),
            "Exception: Text \"desc\" expected at [3:47] (line 4, column 44 of " + dir / "cut.gpx" +
                "; waypoint at byte " +
                std::to_string(test::kGpxHeader.size() + Waypoint("GC1").size()) + ")");
}

TEST_F(Faults, HugeWaypointAndDeepNestingAreHandled) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  deep += "x";
  for (int i = 0; i < 200000; ++i) deep += "</a>";
  WriteFile(dir / "big.gpx", test::kGpxHeader +
                                 Waypoint("GC1", "<desc>" + Letters(5000000, 2) + "</desc>") +
                                 Waypoint("GC2", deep) + "</gpx>\r\n");
  TProcessResult result = Run({"big.gpx", "out.ggz"});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_NE(
      result.Output.find("Writing: big_0001.gpx\nWriting: big_0002.gpx\nProcessed waypoints: 2\n"),
      std::string::npos);
}

TEST_F(Faults, ThousandsOfSmallSourcesBecomeOneArchive) {
  for (int i = 0; i < 2000; ++i)
    WriteFile(dir / ("c" + std::to_string(i) + ".gpx"),
              test::kGpxHeader + Waypoint("GC" + std::to_string(i)));
  TProcessResult result = Run({"*.gpx", "out.ggz"});
  EXPECT_EQ(result.ExitCode, 0);
  TProcessResult check = test::RunProcess({"/usr/bin/unzip", "-tq", dir / "out.ggz"});
  EXPECT_EQ(check.ExitCode, 0) << check.Output;
}

TEST_F(Faults, SourceThatVanishedAfterListingEndsTheRun) {
  ASSERT_EQ(symlink((dir / "gone.gpx").c_str(), (dir / "a.gpx").c_str()), 0);  // listed, not there
  TProcessResult gone = Run({"a.gpx", "out.ggz"});
  EXPECT_EQ(gone.ExitCode, 1);
  EXPECT_EQ(LastLine(gone.Output),
            "EFOpenError: Cannot open file \"" + dir / "a.gpx" + "\". No such file or directory");
  EXPECT_NE(gone.Output.find("Reading: " + dir / "a.gpx\nDuration: "), std::string::npos);
}

TEST_F(Faults, UnreadableSourceEndsTheRun) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
  WriteFile(dir / "secret.gpx", test::kGpxHeader + Waypoint("GC1"));
  chmod((dir / "secret.gpx").c_str(), 0);
  TProcessResult unreadable = Run({"secret.gpx", "out.ggz"});
  EXPECT_EQ(LastLine(unreadable.Output),
            "EFOpenError: Cannot open file \"" + dir / "secret.gpx" + "\". Permission denied");
}

TEST_F(Faults, UnwritableDestinationFolderEndsBeforeAnythingIsWritten) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
  WriteFile(dir / "a.gpx", test::kGpxHeader + Waypoint("GC1"));
  mkdir((dir / "locked").c_str(), 0555);
  TProcessResult result = Run({"a.gpx", "locked/out.ggz"});
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_TRUE(ListNames(dir / "locked").empty());
  EXPECT_NE(LastLine(result.Output).find("EFCreateFolderError: Cannot create folder"),
            std::string::npos);
}

TEST_F(Faults, DiskFullWhileZippingKeepsThePreviousArchive) {
  std::string source = test::kGpxHeader;
  for (unsigned i = 0; i < 3; ++i)
    source += Waypoint("GC" + std::to_string(i), Letters(3000000, i));
  WriteFile(dir / "a.gpx", source);
  WriteFile(dir / "out.ggz", kPreviousArchive);
  TProcessOptions limited;
  limited.FileSizeLimit = 4400000;  // every chunk fits, the archive does not
  TProcessResult result = Run({"a.gpx", "out.ggz"}, limited);
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_TRUE(std::regex_search(LastLine(result.Output),
                                std::regex("^EFWriteError: Cannot write file \"" + dir.Path() +
                                           "out\\.ggz\"\\. File too large$")))
      << result.Output;
}

// A signal stops the run wherever it is: exit 128 + its number, nothing left behind.
TEST_F(Faults, SignalsStopTheRunAndLeaveNothingBehind) {
  std::string source = test::kGpxHeader;
  for (unsigned i = 0; i < 8; ++i)
    source += Waypoint("GC" + std::to_string(i), Letters(2500000, i));
  WriteFile(dir / "a.gpx", source);
  WriteFile(dir / "out.ggz", kPreviousArchive);
  const std::pair<int, const char*> cases[] = {
      {SIGINT, "Writing: a_0001.gpx"}, {SIGTERM, "Building: "}, {SIGHUP, "Writing: a_0002.gpx"}};
  for (const auto& [signal, when] : cases) {
    TProcessOptions options;
    options.SignalToSend = signal;
    options.SignalWhenOutput = when;
    TProcessResult result = Run({"a.gpx", "out.ggz"}, options);
    EXPECT_EQ(result.ExitCode, 128 + signal) << result.Output;
    std::string name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    EXPECT_EQ(LastLine(result.Output), "EInterrupted: Interrupted by " + name);
  }
}

}  // namespace
}  // namespace voltrane
