// The real executable against destinations that are links, FIFOs, folders, sources or paths
// under files: the file that the kernel would open is replaced, or nothing is touched at all,
// and the exit status says which.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "RunChecks.h"
#include "cli/Driver.h"

namespace voltrane {
namespace {

using HostileDestination = test::TToolRun;

TEST_F(HostileDestination, PathsThatCannotBeAnArchiveAreRefusedBeforeAnySourceIsRead) {
  mkdir((dir / "outdir").c_str(), 0777);
  ASSERT_EQ(mkfifo((dir / "fifo.ggz").c_str(), 0666), 0);
  ASSERT_EQ(symlink("/dev/null", (dir / "null.ggz").c_str()), 0);
  test::WriteFile(dir / "b.gpx", test::Gpx(test::Waypoint("GC2")));
  const std::string folder = "the path names a folder, not a file",
                    notFile = "it is not a regular file",
                    underFile = "\"" + dir / "a.gpx\" is not a folder";
  // The destination, and what "Cannot create" or "Cannot replace" says of it.
  const std::tuple<std::string, std::string, std::string> kCases[] = {
      {"outdir/", "create", folder},
      {"new/", "create", folder},
      {"outdir/..", "create", folder},
      {"a.gpx/out.ggz", "create", underFile},
      {"a.gpx/new/out.ggz", "create", underFile},
      {"fifo.ggz", "replace", notFile},
      {"null.ggz", "replace", notFile},
      {"outdir", "replace", "it is a folder"},
      {"a.gpx", "replace", "it is one of the source files"},
      // A forgotten destination makes the last source the destination.
      {"b.gpx", "replace", "it is not a ZIP archive"},
  };
  for (const auto& [destination, verb, why] : kCases)
    test::ExpectFailure(
        Run({"a.gpx", destination}),
        "EDestinationError: Cannot " + verb + " \"" + dir / destination + "\": " + why, true);
}

TEST_F(HostileDestination, LinksAreFollowedToTheFileTheKernelWouldOpen) {
  mkdir((dir / "real").c_str(), 0777);
  mkdir((dir / "real/deep").c_str(), 0777);
  test::WriteFile(dir / "real/old.ggz", test::kPreviousArchive);
  ASSERT_EQ(symlink("real/old.ggz", (dir / "link.ggz").c_str()), 0);
  ASSERT_EQ(symlink("real/new.ggz", (dir / "dangling.ggz").c_str()), 0);
  ASSERT_EQ(symlink("link.ggz", (dir / "real/deep/chain.ggz").c_str()), 0);  // relative to deep
  ASSERT_EQ(symlink("../old.ggz", (dir / "real/deep/up.ggz").c_str()), 0);
  ASSERT_EQ(symlink("real/deep", (dir / "lx").c_str()), 0);
  // The destination, the file it replaces, and the path that "Building:" names.
  const std::tuple<std::string, std::string, std::string> kCases[] = {
      {"link.ggz", "real/old.ggz", "link.ggz"},
      {"dangling.ggz", "real/new.ggz", "dangling.ggz"},
      {"lx/up.ggz", "real/old.ggz", "real/deep/up.ggz"},
      {"lx/../old.ggz", "real/old.ggz", "real/old.ggz"},  // ".." after the link, as opened
      {"lx/chain.ggz", "real/deep/link.ggz", "real/deep/chain.ggz"},
  };
  for (const auto& [destination, replaced, building] : kCases) {
    test::TProcessResult result = Run({"a.gpx", destination}, replaced);
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(result.Output.find("Building: " + dir / building + "\n"), std::string::npos)
        << result.Output;
  }
}

TEST_F(HostileDestination, ReplacedArchiveKeepsPermissionsAndOwner) {
  // Another owner only a super-user may keep.
  const std::tuple<mode_t, uid_t, gid_t> kCases[] = {
      {0600, getuid(), getgid()}, {0444, getuid(), getgid()}, {0604, 4321, 8765}};
  const std::string archive = dir / "out.ggz";
  for (const auto& [mode, owner, group] : kCases) {
    if (owner != getuid() && geteuid() != 0) continue;
    ASSERT_EQ(chown(archive.c_str(), owner, group), 0);
    ASSERT_EQ(chmod(archive.c_str(), mode), 0);
    EXPECT_EQ(Run({"a.gpx", "out.ggz"}).ExitCode, 0);
    struct stat info;
    ASSERT_EQ(stat(archive.c_str(), &info), 0);
    EXPECT_EQ(std::tuple(info.st_mode & 07777, info.st_uid, info.st_gid),
              std::tuple(mode, owner, group));
  }
}

// A console whose standard output goes away at the line that starts with Lost.
struct TConsoleLostAt : TStringConsole {
  std::string Lost;
  void WriteLine(const std::string& text) override {
    if (text.starts_with(Lost)) throw EInOutError("Cannot write to standard output. Broken pipe");
    TStringConsole::WriteLine(text);
  }
};

TEST_F(HostileDestination, FailureAfterTheReplaceIsToldButTheStatusStaysZero) {
  for (const char* line : {"Cleaning temporary files...", "Done!", "Duration: "}) {
    TConsoleLostAt console;
    console.Lost = line;
    test::TTreeSnapshot before = test::SnapshotTree(dir.Path());
    EXPECT_EQ(RunDriver({dir / "a.gpx", dir / "out.ggz"}, console), kExitSuccess) << line;
    EXPECT_EQ(console.Errors, "EInOutError: Cannot write to standard output. Broken pipe\n");
    test::ExpectOnlyArchiveChanged(before, dir.Path(), "out.ggz");
  }
  // The real thing: a reader that leaves after "Building:".
  const std::string script =
      "\"$0\" a.gpx out.ggz | sed -n /Building/q; echo \"status ${PIPESTATUS[0]}\"";
  test::TProcessResult piped =
      test::RunWatched(dir.Path(), {"/bin/bash", "-c", script, test::VoltraneExe()}, {},
                       [](auto&) { return "out.ggz"; });
  EXPECT_EQ(test::LastLine(piped.Output), "status 0");
}

TEST_F(HostileDestination, SignalEndsARunBlockedOnAPipeThatNobodyReads) {
  // Enough progress lines to fill a pipe many times over.
  for (int i = 0; i < 3000; ++i)
    test::WriteFile(dir / ("s" + std::to_string(i) + ".gpx"), test::Gpx(""));
  test::TTempFolder outside;
  const std::string script =
      "mkfifo \"$1/pipe\"; exec 3<>\"$1/pipe\"; \"$0\" '*.gpx' out.ggz >\"$1/pipe\" & pid=$!; "
      "sleep 1; kill -TERM $pid; for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; "
      "sleep 0.1; done; kill -KILL $pid 2>/dev/null; wait $pid; echo \"status $?\"";
  test::TProcessResult result =
      test::RunWatched(dir.Path(), {"/bin/bash", "-c", script, test::VoltraneExe(), outside.Path()},
                       {}, [](auto&) { return ""; });
  EXPECT_EQ(test::LastLine(result.Output), "status 143");
}

}  // namespace
}  // namespace voltrane
