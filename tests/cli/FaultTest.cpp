// The real executable against bad input, hostile sources and destinations, full disks and
// signals: a clear error, or the archive; the folder otherwise as before.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "RunChecks.h"
#include "cli/Driver.h"

namespace voltrane::test {
namespace {

using Faults = TToolRun;

TEST_F(Faults, SourcesThatAreNotGpxGiveAnArchiveWithoutChunks) {
  WriteFile(dir / "binary.gpx",
            std::string("\x00\xff\x89PNG\r\n\x1a\n<\x00wp", 12) + Letters(5000, 1));
  WriteFile(dir / "empty.gpx", "");
  WriteFile(dir / "lt.gpx", "<");
  TProcessResult result = Run({"binary.gpx", "empty.gpx", "lt.gpx", "out.ggz"});
  EXPECT_EQ(result.ExitCode, 0);
  EXPECT_EQ(result.Output.find("Writing:"), std::string::npos);
}

TEST_F(Faults, SourcesTheSplitterCannotTakeEndTheRunNamingWhy) {
  const std::string path = dir / "s.gpx", cut = "<wpt lat=\"1\"><name>GC2</name><desc>cut here";
  const std::string utf16le("<\0?\0x\0m\0l\0", 10), utf32be("\0\0\0<\0\0\0?", 8);
  auto wide = [&](const char* encoding) {
    return "EEncodingError: \"" + path + "\" is " + encoding +
           " text, which cannot be read: save it as UTF-8";
  };
  const std::pair<std::string, std::string> kCases[] = {
      // The end tag of desc is missing: the source's "</gpx>" is where the parser stops.
      {kGpxHeader + Waypoint("GC1") + cut,
       "Exception: Text \"desc\" expected at [3:47] (line 4, column 44 of " + path +
           "; waypoint at byte " + std::to_string(kGpxHeader.size() + Waypoint("GC1").size()) +
           ")"},
      {Gpx("<metadata><desc>" + Letters(4600000, 3) + "</desc></metadata>" + Waypoint("GC1")),
       "EHeaderTooLongError: The text before the first waypoint of \"" + path +
           "\" is longer than a chunk file may be (4500000 bytes)"},
      {"\xFF\xFE" + utf16le, wide("UTF-16")},
      {"\xFE\xFF" + utf16le.substr(1), wide("UTF-16")},
      {utf16le, wide("UTF-16")},
      {std::string("\0\0\xFE\xFF", 4) + utf32be, wide("UTF-32")},
      {std::string("\xFF\xFE\0\0", 4) + utf32be.substr(3), wide("UTF-32")},
      {utf32be, wide("UTF-32")},
  };
  for (const auto& [source, error] : kCases) {
    WriteFile(path, source);
    ExpectFailure(Run({"s.gpx", "out.ggz"}), error);
  }
}

// A first waypoint exactly as long as a chunk may be follows a chunk of the header alone.
TEST_F(Faults, HugeWaypointAndDeepNestingAreHandled) {
  std::string huge = Waypoint("GC1", "<desc></desc>"), open, close;
  huge = Waypoint("GC1", "<desc>" + Letters(4500000 + 2 - huge.size(), 2) + "</desc>");
  for (int i = 0; i < 200000; ++i) open += "<a>", close += "</a>";
  WriteFile(dir / "big.gpx", Gpx(huge + Waypoint("GC2", open + "x" + close)));
  TProcessResult result = Run({"big.gpx", "out.ggz"});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_NE(
      result.Output.find("Writing: big_0001.gpx\nWriting: big_0002.gpx\nProcessed waypoints: 2\n"),
      std::string::npos);
  const std::string archive = dir / "out.ggz", closing = "\r\n</gpx>\r\n";
  EXPECT_EQ(Member(archive, "data/big_0000.gpx"), kGpxHeader + closing);
  EXPECT_EQ(Member(archive, "data/big_0001.gpx"),
            kGpxHeader + huge.substr(0, huge.size() - 2) + closing);
}

TEST_F(Faults, ThousandsOfSmallSourcesBecomeOneArchive) {
  for (int i = 0; i < 2000; ++i)
    WriteFile(dir / ("c" + std::to_string(i) + ".gpx"), kGpxHeader + Waypoint("GC1"));
  EXPECT_EQ(Run({"*.gpx", "out.ggz"}).ExitCode, 0);  // and its archive passes the check
}

// A file-size limit is a full disk: at the archive's first bytes, or once every chunk fits
// but the archive does not. Folders the run made go again; a previous archive stays.
TEST_F(Faults, FullDiskEndsTheRunNamingOnlyTheDestination) {
  std::string source = kGpxHeader;
  for (unsigned i = 0; i < 3; ++i)
    source += Waypoint("GC" + std::to_string(i), Letters(3000000, i));
  WriteFile(dir / "a.gpx", source);
  for (const auto& [destination, limit] :
       {std::pair<std::string, int64_t>{"new1/new2/o.ggz", 100}, {"out.ggz", 4400000}}) {
    ExpectFailure(Run({"a.gpx", destination}, "", {.FileSizeLimit = limit}),
                  "EFWriteError: Cannot write file \"" + dir / destination + "\". File too large");
  }
}

TEST_F(Faults, UnwritableDestinationFolderEndsTheRunNamingTheArchive) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
  mkdir((dir / "locked").c_str(), 0555);
  ExpectFailure(
      Run({"a.gpx", "locked/out.ggz"}),
      "EFCreateError: Cannot create file \"" + dir / "locked/out.ggz" + "\". Permission denied");
}

// A signal stops the run wherever it is, also while it waits for a FIFO without a writer:
// exit 128 + its number, nothing left behind.
TEST_F(Faults, SignalsStopTheRunAndLeaveNothingBehind) {
  std::string source = kGpxHeader;
  for (unsigned i = 0; i < 8; ++i)
    source += Waypoint("GC" + std::to_string(i), Letters(2500000, i));
  WriteFile(dir / "a.gpx", source);
  ASSERT_EQ(mkfifo((dir / "pipe.gpx").c_str(), 0666), 0);
  // The signal, its name, the output it is sent at, and the source.
  const std::tuple<int, std::string, std::string, std::string> kCases[] = {
      {SIGINT, "SIGINT", "Writing: a_0001.gpx", "a.gpx"},
      {SIGTERM, "SIGTERM", "Building: ", "a.gpx"},
      {SIGHUP, "SIGHUP", "Writing: a_0002.gpx", "a.gpx"},
      {SIGTERM, "SIGTERM", "Reading: ", "pipe.gpx"},
  };
  for (const auto& [signal, name, when, source] : kCases) {
    TProcessResult result =
        Run({source, "out.ggz"}, "out.ggz", {.SignalToSend = signal, .SignalWhenOutput = when});
    EXPECT_EQ(result.ExitCode, 128 + signal) << result.Output;
    EXPECT_EQ(LastLine(result.Output), "EInterrupted: Interrupted by " + name);
  }
}

using HostileSources = TToolRun;

TEST_F(HostileSources, MasksThatMatchNoFileEndTheRunNamingTheMask) {
  mkdir((dir / "sub").c_str(), 0777);
  WriteFile(dir / "sub/x.gpx", Gpx(Waypoint("GC2")));
  const std::pair<std::vector<std::string>, std::string> kCases[] = {
      {{"typo*.gpx"}, "No file matches \"" + dir / "typo*.gpx\""},
      {{"a.gpx", "typo.gpx"}, "No file matches \"" + dir / "typo.gpx\""},
      {{"A.GPX"}, "No file matches \"" + dir / "A.GPX\""},  // exact names keep their case
      {{"sub"}, "No file matches \"" + dir / "sub\""},      // a folder is no source
      {{""}, "No file matches \"" + dir.Path() + "\""},
      {{"nope/*.gpx"}, "Cannot list folder \"" + dir / "nope/\". No such file or directory"},
      {{"nope/a.gpx"}, "Cannot list folder \"" + dir / "nope/\". No such file or directory"},
      {{"a.gpx/*.gpx"}, "Cannot list folder \"" + dir / "a.gpx/\". Not a directory"},
  };
  for (auto [args, error] : kCases) {
    args.push_back("out.ggz");
    ExpectFailure(Run(args), "ENoSourceError: " + error, true);
  }
}

TEST_F(HostileSources, SourcesThatCannotBeReadEndTheRun) {
  ASSERT_EQ(symlink("/dev/zero", (dir / "zero.gpx").c_str()), 0);
  ASSERT_EQ(symlink("vanished.gpx", (dir / "gone.gpx").c_str()), 0);  // listed, not there
  WriteFile(dir / "locked.gpx", Gpx(Waypoint("GC1")));
  chmod((dir / "locked.gpx").c_str(), 0);
  ASSERT_EQ(mknod((dir / "sock.gpx").c_str(), S_IFSOCK | 0666, 0), 0);
  auto refused = [&](const std::string& name) {
    return "ESourceError: Cannot read \"" + dir / name +
           "\": it is a device or a socket, not a file";
  };
  std::vector<std::pair<std::string, std::string>> cases = {
      {"zero.gpx", refused("zero.gpx")},
      {"sock.gpx", refused("sock.gpx")},
      {"so*.gpx", refused("sock.gpx")},
      {"gone.gpx",
       "EFOpenError: Cannot open file \"" + dir / "gone.gpx" + "\". No such file or directory"}};
  if (geteuid() != 0)  // permissions do not bind the super-user
    cases.push_back({"locked.gpx", "EFOpenError: Cannot open file \"" + dir / "locked.gpx" +
                                       "\". Permission denied"});
  for (const auto& [mask, error] : cases) ExpectFailure(Run({mask, "out.ggz"}), error);
}

using HostileDestination = TToolRun;

TEST_F(HostileDestination, PathsThatCannotBeAnArchiveAreRefusedBeforeAnySourceIsRead) {
  mkdir((dir / "outdir").c_str(), 0777);
  ASSERT_EQ(mkfifo((dir / "fifo.ggz").c_str(), 0666), 0);
  WriteFile(dir / "b.gpx", Gpx(Waypoint("GC2")));
  const std::string folder = "the path names a folder, not a file",
                    underFile = "\"" + dir / "a.gpx\" is not a folder";
  // The destination, and what "Cannot create" or "Cannot replace" says of it.
  const std::tuple<std::string, std::string, std::string> kCases[] = {
      {"outdir/", "create", folder},
      {"outdir/..", "create", folder},
      {"a.gpx/out.ggz", "create", underFile},
      {"a.gpx/new/out.ggz", "create", underFile},
      {"fifo.ggz", "replace", "it is not a regular file"},
      {"outdir", "replace", "it is a folder"},
      {"a.gpx", "replace", "it is one of the source files"},
      // A forgotten destination makes the last source the destination.
      {"b.gpx", "replace", "it is not a ZIP archive"},
  };
  for (const auto& [destination, verb, why] : kCases)
    ExpectFailure(Run({"a.gpx", destination}),
                  "EDestinationError: Cannot " + verb + " \"" + dir / destination + "\": " + why,
                  true);
}

TEST_F(HostileDestination, LinksAreFollowedToTheFileTheKernelWouldOpen) {
  mkdir((dir / "real").c_str(), 0777);
  mkdir((dir / "real/deep").c_str(), 0777);
  WriteFile(dir / "real/old.ggz", kPreviousArchive);
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
    TProcessResult result = Run({"a.gpx", destination}, replaced);
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
    TTreeSnapshot before = SnapshotTree(dir.Path());
    EXPECT_EQ(RunDriver({dir / "a.gpx", dir / "out.ggz"}, console), kExitSuccess) << line;
    EXPECT_EQ(console.Errors, "EInOutError: Cannot write to standard output. Broken pipe\n");
    ExpectOnlyArchiveChanged(before, dir.Path(), "out.ggz");
  }
  // The real thing: a reader that leaves after "Building:".
  const std::string script =
      "\"$0\" a.gpx out.ggz | sed -n /Building/q; echo \"status ${PIPESTATUS[0]}\"";
  TProcessResult piped = RunWatched(dir.Path(), {"/bin/bash", "-c", script, VoltraneExe()}, {},
                                    [](auto&) { return "out.ggz"; });
  EXPECT_EQ(LastLine(piped.Output), "status 0");
}

TEST_F(HostileDestination, SignalEndsARunBlockedOnAPipeThatNobodyReads) {
  // Enough progress lines to fill a pipe many times over.
  for (int i = 0; i < 3000; ++i) WriteFile(dir / ("s" + std::to_string(i) + ".gpx"), Gpx(""));
  TTempFolder outside;
  const std::string script =
      "mkfifo \"$1/pipe\"; exec 3<>\"$1/pipe\"; \"$0\" '*.gpx' out.ggz >\"$1/pipe\" & pid=$!; "
      "sleep 1; kill -TERM $pid; for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; "
      "sleep 0.1; done; kill -KILL $pid 2>/dev/null; wait $pid; echo \"status $?\"";
  TProcessResult result =
      RunWatched(dir.Path(), {"/bin/bash", "-c", script, VoltraneExe(), outside.Path()}, {},
                 [](auto&) { return ""; });
  EXPECT_EQ(LastLine(result.Output), "status 143");
}

}  // namespace
}  // namespace voltrane::test
