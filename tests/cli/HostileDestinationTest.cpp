// The real executable against destinations that are links, FIFOs, folders, sources or paths
// under files: the file that the kernel would open is replaced, or nothing is touched at all,
// and the exit status says which.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
  auto folder = [&](const std::string& path) {
    return "Cannot create \"" + dir / path + "\": the path names a folder, not a file";
  };
  auto underFile = [&](const std::string& path) {
    return "Cannot create \"" + dir / path + "\": \"" + dir / "a.gpx\" is not a folder";
  };
  auto replace = [&](const std::string& path, const std::string& why) {
    return "Cannot replace \"" + dir / path + "\": " + why;
  };
  const std::pair<std::string, std::string> kCases[] = {
      {"outdir/", folder("outdir/")},
      {"new/", folder("new/")},
      {"outdir/..", folder("outdir/..")},
      {"a.gpx/out.ggz", underFile("a.gpx/out.ggz")},
      {"a.gpx/new/out.ggz", underFile("a.gpx/new/out.ggz")},
      {"fifo.ggz", replace("fifo.ggz", "it is not a regular file")},
      {"null.ggz", replace("null.ggz", "it is not a regular file")},
      {"outdir", replace("outdir", "it is a folder")},
      {"a.gpx", replace("a.gpx", "it is one of the source files")},
      // A forgotten destination makes the last source the destination.
      {"b.gpx", replace("b.gpx", "it is not a ZIP archive")},
  };
  for (const auto& [destination, error] : kCases)
    EXPECT_EQ(test::MaskDuration(Run({"a.gpx", destination}).Output),
              test::kBanner + "Duration: D\nEDestinationError: " + error + "\n");
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
  const struct {
    std::string destination, replaced, building;
  } cases[] = {
      {"link.ggz", "real/old.ggz", "link.ggz"},
      {"dangling.ggz", "real/new.ggz", "dangling.ggz"},
      {"lx/up.ggz", "real/old.ggz", "real/deep/up.ggz"},
      {"lx/../old.ggz", "real/old.ggz", "real/old.ggz"},  // ".." after the link, as opened
      {"lx/chain.ggz", "real/deep/link.ggz", "real/deep/chain.ggz"},
  };
  for (const auto& c : cases) {
    test::TProcessResult result = Run({"a.gpx", c.destination}, c.replaced);
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(result.Output.find("Building: " + dir / c.building + "\n"), std::string::npos)
        << result.Output;
  }
}

TEST_F(HostileDestination, ReplacedArchiveKeepsPermissionsAndOwner) {
  const struct {
    mode_t mode;
    uid_t owner;
    gid_t group;
  } cases[] = {
      {0600, getuid(), getgid()},
      {0444, getuid(), getgid()},
      {0604, 4321, 8765},  // another owner: only a super-user may keep it
  };
  for (const auto& c : cases) {
    if (c.owner != getuid() && geteuid() != 0) continue;
    test::WriteFile(dir / "out.ggz", test::kPreviousArchive);
    ASSERT_EQ(chown((dir / "out.ggz").c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod((dir / "out.ggz").c_str(), c.mode), 0);
    EXPECT_EQ(Run({"a.gpx", "out.ggz"}).ExitCode, 0);
    struct stat info;
    ASSERT_EQ(stat((dir / "out.ggz").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.mode);
    EXPECT_EQ(info.st_uid, c.owner);
    EXPECT_EQ(info.st_gid, c.group);
  }
}

// A console whose standard output goes away at one line.
class TConsoleLostAt : public TStringConsole {
 public:
  explicit TConsoleLostAt(std::string line) : line_(std::move(line)) {}
  void WriteLine(const std::string& text) override {
    if (text.starts_with(line_)) throw EInOutError("Cannot write to standard output. Broken pipe");
    TStringConsole::WriteLine(text);
  }

 private:
  std::string line_;
};

TEST_F(HostileDestination, FailureAfterTheReplaceIsToldButTheStatusStaysZero) {
  for (const char* line : {"Cleaning temporary files...", "Done!", "Duration: "}) {
    TConsoleLostAt console(line);
    test::TTreeSnapshot before = test::SnapshotTree(dir.Path());
    EXPECT_EQ(RunDriver({dir / "a.gpx", dir / "out.ggz"}, console), kExitSuccess) << line;
    EXPECT_EQ(console.Errors, "EInOutError: Cannot write to standard output. Broken pipe\n");
    EXPECT_NE(test::ReadFile(dir / "out.ggz"), test::kPreviousArchive);
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
