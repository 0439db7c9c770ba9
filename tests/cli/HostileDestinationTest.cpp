// The real executable against destinations that are links, FIFOs, folders or paths under
// files: the file that the kernel would open is replaced, or nothing is touched at all, and
// the exit status says which.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "GpxFixtures.h"
#include "RunChecks.h"
#include "TestSupport.h"
#include "cli/Driver.h"

namespace voltrane {
namespace {

using test::Gpx;
using test::Waypoint;

using test::kPreviousArchive;
using test::LastLine;

class HostileDestination : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1")));
    test::WriteFile(dir / "out.ggz", kPreviousArchive);
  }
  // Runs voltrane (or the program) in the folder and checks that it changed only the
  // archive (a path relative to the folder), or nothing when that is empty.
  test::TProcessResult Run(std::vector<std::string> args, const std::string& archive,
                           test::TProcessOptions options = {},
                           const std::string& program = test::VoltraneExe()) {
    args.insert(args.begin(), program);
    return test::RunWatched(dir.Path(), args, options, [&](auto&) { return archive; });
  }
  test::TTempFolder dir;
};

TEST_F(HostileDestination, PathsThatCannotBeAnArchiveAreRefusedBeforeAnySourceIsRead) {
  mkdir((dir / "outdir").c_str(), 0777);
  ASSERT_EQ(mkfifo((dir / "fifo.ggz").c_str(), 0666), 0);
  ASSERT_EQ(symlink("/dev/null", (dir / "null.ggz").c_str()), 0);
  const struct {
    std::string destination, error;
  } cases[] = {
      {"outdir/", "Cannot create \"" + dir / "outdir/\": the path names a folder, not a file"},
      {"new/", "Cannot create \"" + dir / "new/\": the path names a folder, not a file"},
      {"outdir/..", "Cannot create \"" + dir / "outdir/..\": the path names a folder, not a file"},
      {"a.gpx/out.ggz",
       "Cannot create \"" + dir / "a.gpx/out.ggz\": \"" + dir / "a.gpx\" is not a folder"},
      {"a.gpx/new/out.ggz",
       "Cannot create \"" + dir / "a.gpx/new/out.ggz\": \"" + dir / "a.gpx\" is not a folder"},
      {"fifo.ggz", "Cannot replace \"" + dir / "fifo.ggz\": it is not a regular file"},
      {"null.ggz", "Cannot replace \"" + dir / "null.ggz\": it is not a regular file"},
      {"outdir", "Cannot replace \"" + dir / "outdir\": it is a folder"},
  };
  for (const auto& c : cases) {
    test::TProcessResult result = Run({"a.gpx", c.destination}, "");
    EXPECT_EQ(result.ExitCode, 1) << c.destination;
    EXPECT_EQ(LastLine(result.Output), "EDestinationError: " + c.error);
    EXPECT_EQ(result.Output.find("Reading:"), std::string::npos) << result.Output;
  }
}

TEST_F(HostileDestination, LinksAreFollowedToTheFileTheKernelWouldOpen) {
  mkdir((dir / "real").c_str(), 0777);
  mkdir((dir / "real/deep").c_str(), 0777);
  test::WriteFile(dir / "real/old.ggz", kPreviousArchive);
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
      {0640, getuid(), getgid()},
      {0444, getuid(), getgid()},
      {0604, 4321, 8765},  // another owner: only a super-user may keep it
  };
  for (const auto& c : cases) {
    if (c.owner != getuid() && geteuid() != 0) continue;
    test::WriteFile(dir / "out.ggz", kPreviousArchive);
    ASSERT_EQ(chown((dir / "out.ggz").c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod((dir / "out.ggz").c_str(), c.mode), 0);
    EXPECT_EQ(Run({"a.gpx", "out.ggz"}, "out.ggz").ExitCode, 0);
    struct stat info;
    ASSERT_EQ(stat((dir / "out.ggz").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.mode);
    EXPECT_EQ(info.st_uid, c.owner);
    EXPECT_EQ(info.st_gid, c.group);
  }
}

TEST_F(HostileDestination, FailedRunRemovesItsFoldersAndNamesOnlyTheDestination) {
  const struct {
    std::string destination;
    int64_t sizeLimit;
  } cases[] = {{"new1/new2/o.ggz", 100}, {"out.ggz", 100}};
  test::WriteFile(dir / "a.gpx", Gpx(Waypoint("GC1", test::Letters(40000, 1))));
  for (const auto& c : cases) {
    test::TProcessOptions options;
    options.FileSizeLimit = c.sizeLimit;
    test::TProcessResult result = Run({"a.gpx", c.destination}, "", options);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(LastLine(result.Output),
              "EFWriteError: Cannot write file \"" + dir / c.destination + "\". File too large");
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
    EXPECT_EQ(RunDriver({dir / "a.gpx", dir / "out.ggz"}, console), kExitSuccess) << line;
    EXPECT_EQ(console.Errors, "EInOutError: Cannot write to standard output. Broken pipe\n");
    EXPECT_NE(test::ReadFile(dir / "out.ggz"), kPreviousArchive);
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"a.gpx", "out.ggz"}));
  }
  // The real thing: a reader that leaves after "Building:".
  test::TProcessResult piped =
      Run({"-c", "\"$0\" a.gpx out.ggz | sed -n /Building/q; echo \"status ${PIPESTATUS[0]}\"",
           test::VoltraneExe()},
          "out.ggz", {}, "/bin/bash");
  EXPECT_EQ(LastLine(piped.Output), "status 0");
}

TEST_F(HostileDestination, SignalEndsARunBlockedOnAPipeThatNobodyReads) {
  // Enough progress lines to fill a pipe many times over.
  for (int i = 0; i < 3000; ++i) test::WriteFile(dir / ("s" + std::to_string(i) + ".gpx"), Gpx(""));
  test::TTempFolder outside;
  const std::string script =
      "mkfifo \"$1/pipe\"; exec 3<>\"$1/pipe\"; \"$0\" '*.gpx' out.ggz >\"$1/pipe\" & pid=$!; "
      "sleep 1; kill -TERM $pid; for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; "
      "sleep 0.1; done; kill -KILL $pid 2>/dev/null; wait $pid; echo \"status $?\"";
  test::TProcessResult result =
      Run({"-c", script, test::VoltraneExe(), outside.Path()}, "", {}, "/bin/bash");
  EXPECT_EQ(LastLine(result.Output), "status 143");
}

}  // namespace
}  // namespace voltrane
