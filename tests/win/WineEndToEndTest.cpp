// The Windows executable run end to end under Wine, checked from the Linux side with the
// tools the Linux runs are checked with: the same transcript and statuses as the Linux
// build, the same archive apart from times, non-ANSI names, a destination folder with
// blanks, replacing an archive, keeping it after a failure, Ctrl+C, another time zone.
// tools/windows-ci.sh names the executable in VOLTRANE_WINDOWS_EXE; without it they skip.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "../cli/RunChecks.h"
#include "TestSupport.h"

namespace voltrane::test {
namespace {

const std::string kNonAnsiName =
    "\xC4\x8C"
    "echy \xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1.gpx";

// The folder as Wine's Z: drive shows it to the program.
std::string WindowsPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return "Z:" + path;
}

class WineRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* exe = std::getenv("VOLTRANE_WINDOWS_EXE");
    if (!exe || !*exe)
      GTEST_SKIP() << "VOLTRANE_WINDOWS_EXE names no voltrane.exe (tools/windows-ci.sh sets it)";
    const char* wine = std::getenv("VOLTRANE_WINE");
    wine_ = wine && *wine ? wine : "/usr/bin/wine";
    exe_ = exe;
  }

  // voltrane.exe under Wine in the folder; the folder changes only by the archive, and only
  // when the run succeeds.
  TProcessResult RunWindows(const TTempFolder& folder, std::vector<std::string> args,
                            const std::string& archiveOnSuccess, TProcessOptions options = {}) {
    args.insert(args.begin(), {wine_, exe_});
    return RunWatched(folder.Path(), args, options, [&](const TProcessResult& result) {
      return result.ExitCode == 0 ? archiveOnSuccess : "";
    });
  }

  void WriteSources(const TTempFolder& folder) {
    WriteFile(folder / "a.gpx", Gpx(Waypoint("GC1") + Waypoint("GC2", "<sym>Found</sym>")));
    WriteFile(folder / "B.GPX", Gpx(Waypoint("GC3")));
    WriteFile(folder / kNonAnsiName, Gpx(Waypoint("GC4", "<desc>\xC5\x99</desc>")));
  }

  std::string wine_, exe_;
  TTempFolder linuxDir, windowsDir;
};

// Each member's bytes as unzip extracts them, in archive order, index times left out.
std::vector<std::pair<std::string, std::string>> Members(const std::string& archive) {
  std::vector<std::pair<std::string, std::string>> members;
  std::string names = RunProcess({"/usr/bin/unzip", "-Z1", archive}).Output;
  for (size_t at = 0, end; (end = names.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string name = names.substr(at, end - at);
    std::string bytes = RunProcess({"/usr/bin/unzip", "-p", archive, name}).Output;
    members.emplace_back(name, std::regex_replace(bytes, std::regex("<time>[^<]*</time>"), ""));
  }
  return members;
}

// The transcript with the run's folder and separators as on Linux, the duration left out.
std::string Portable(std::string output, const std::string& folder, bool windows) {
  std::string shown = windows ? WindowsPath(folder) : folder;
  for (size_t at; (at = output.find(shown)) != std::string::npos;)
    output.replace(at, shown.size(), "<folder>/");
  if (windows)
    for (char& c : output)
      if (c == '\\') c = '/';
  return std::regex_replace(output, std::regex("Duration: [0-9:]+"), "Duration: -");
}

TEST_F(WineRuns, TranscriptStatusAndArchiveAreThoseOfTheLinuxBuild) {
  WriteSources(linuxDir);
  WriteSources(windowsDir);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string archive;
  } cases[] = {
      {{}, 2, ""},
      {{"one"}, 2, ""},
      {{"missing*.gpx", "out.ggz"}, 1, ""},
      {{"*.gpx", "out folder/with blanks.ggz"}, 0, "out folder/with blanks.ggz"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> linuxArgs = c.args;
    linuxArgs.insert(linuxArgs.begin(), VoltraneExe());
    TProcessResult onLinux = RunProcess(linuxArgs, {.WorkingFolder = linuxDir.Path()});
    TProcessResult onWindows = RunWindows(windowsDir, c.args, c.archive);
    EXPECT_EQ(onLinux.ExitCode, c.status) << onLinux.Output;
    EXPECT_EQ(onWindows.ExitCode, c.status) << onWindows.Output;
    std::string expected = std::regex_replace(Portable(onLinux.Output, linuxDir.Path(), false),
                                              std::regex("\nvoltrane <"), "\nvoltrane.exe <");
    EXPECT_EQ(Portable(onWindows.Output, windowsDir.Path(), true), expected);
    if (!c.archive.empty()) {
      EXPECT_EQ(Members(windowsDir / c.archive), Members(linuxDir / c.archive));
    }
  }
}

TEST_F(WineRuns, ArchiveIsReplacedOnSuccessAndKeptOnFailure) {
  WriteSources(windowsDir);
  WriteFile(windowsDir / "bad.gpx", kGpxHeader + "<wpt lat=\"1\" lon=\"2\"><name>GC9");
  WriteFile(windowsDir / "out.ggz", kPreviousArchive);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string lastLine;
  } cases[] = {
      {{"*.gpx", "out.ggz"}, 1, "Exception: "},  // the truncated source: a parse error
      {{"a.gpx", "a.gpx"},
       1,
       "EDestinationError: Cannot replace \"" + WindowsPath(windowsDir / "a.gpx") +
           "\": it is one of the source files"},
      {{"a.gpx", "out.ggz"}, 0, "Duration: "},
  };
  for (const auto& c : cases) {
    TProcessResult result = RunWindows(windowsDir, c.args, "out.ggz");
    EXPECT_EQ(result.ExitCode, c.status) << result.Output;
    EXPECT_TRUE(LastLine(result.Output).starts_with(c.lastLine)) << result.Output;
  }
  EXPECT_NE(ReadFile(windowsDir / "out.ggz"), kPreviousArchive);
}

TEST_F(WineRuns, CtrlCStopsTheRunAndLeavesNothingBehind) {
  std::string source = kGpxHeader;
  for (unsigned i = 0; i < 8; ++i)
    source += Waypoint("GC" + std::to_string(i), Letters(2500000, i));
  WriteFile(windowsDir / "a.gpx", source);
  WriteFile(windowsDir / "out.ggz", kPreviousArchive);
  // Wine hands the signal to the console handler as Ctrl+C.
  TProcessResult result =
      RunWindows(windowsDir, {"a.gpx", "out.ggz"}, "",
                 {.SignalToSend = SIGINT, .SignalWhenOutput = "Writing: a_0001.gpx"});
  EXPECT_EQ(result.ExitCode, 130) << result.Output;
  EXPECT_EQ(LastLine(result.Output), "EInterrupted: Interrupted by Ctrl+C");
}

TEST_F(WineRuns, IndexTimeIsUtcWhateverTheTimeZone) {
  WriteSources(windowsDir);
  TProcessOptions options{.Environment = {"TZ=Pacific/Kiritimati"}};  // UTC+14
  ASSERT_EQ(RunWindows(windowsDir, {"*.gpx", "out.ggz"}, "out.ggz", options).ExitCode, 0);
  std::smatch time;
  std::string index = IndexOfArchive(windowsDir / "out.ggz");
  ASSERT_TRUE(std::regex_search(index, time, std::regex("<time>([0-9T:.-]+)Z</time>")));
  std::tm parts{};
  ASSERT_TRUE(strptime(time[1].str().c_str(), "%Y-%m-%dT%H:%M:%S", &parts));
  EXPECT_NEAR(double(timegm(&parts)), double(std::time(nullptr)), 300) << time[1];
}

}  // namespace
}  // namespace voltrane::test
