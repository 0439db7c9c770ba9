// The real executable against bad input, full disks and signals: it ends with a clear
// error (or finishes), and the destination folder holds what it held before plus, on
// success, the archive.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "RunChecks.h"

namespace voltrane {
namespace {

using test::kGpxHeader;
using test::Letters;
using test::Waypoint;
using test::WriteFile;

using Faults = test::TToolRun;

TEST_F(Faults, SourcesThatAreNotGpxGiveAnArchiveWithoutChunks) {
  WriteFile(dir / "binary.gpx",
            std::string("\x00\xff\x89PNG\r\n\x1a\n<\x00wp", 12) + Letters(5000, 1));
  WriteFile(dir / "empty.gpx", "");
  WriteFile(dir / "lt.gpx", "<");
  test::TProcessResult result = Run({"binary.gpx", "empty.gpx", "lt.gpx", "out.ggz"});
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
      {test::Gpx("<metadata><desc>" + Letters(4600000, 3) + "</desc></metadata>" + Waypoint("GC1")),
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
    test::ExpectFailure(Run({"s.gpx", "out.ggz"}), error);
  }
}

TEST_F(Faults, HugeWaypointAndDeepNestingAreHandled) {
  std::string open, close;
  for (int i = 0; i < 200000; ++i) open += "<a>", close += "</a>";
  WriteFile(dir / "big.gpx", test::Gpx(Waypoint("GC1", "<desc>" + Letters(5000000, 2) + "</desc>") +
                                       Waypoint("GC2", open + "x" + close)));
  test::TProcessResult result = Run({"big.gpx", "out.ggz"});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_NE(
      result.Output.find("Writing: big_0001.gpx\nWriting: big_0002.gpx\nProcessed waypoints: 2\n"),
      std::string::npos);
}

TEST_F(Faults, ThousandsOfSmallSourcesBecomeOneArchive) {
  for (int i = 0; i < 2000; ++i)
    WriteFile(dir / ("c" + std::to_string(i) + ".gpx"), kGpxHeader + Waypoint("GC1"));
  EXPECT_EQ(Run({"*.gpx", "out.ggz"}).ExitCode, 0);
  EXPECT_EQ(test::RunProcess({"/usr/bin/unzip", "-tq", dir / "out.ggz"}).ExitCode, 0);
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
    test::TProcessOptions options;
    options.FileSizeLimit = limit;
    test::ExpectFailure(
        Run({"a.gpx", destination}, "", options),
        "EFWriteError: Cannot write file \"" + dir / destination + "\". File too large");
  }
}

TEST_F(Faults, UnwritableDestinationFolderEndsTheRunNamingTheArchive) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
  mkdir((dir / "locked").c_str(), 0555);
  test::ExpectFailure(
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
    test::TProcessOptions options;
    options.SignalToSend = signal;
    options.SignalWhenOutput = when;
    test::TProcessResult result = Run({source, "out.ggz"}, "out.ggz", options);
    EXPECT_EQ(result.ExitCode, 128 + signal) << result.Output;
    EXPECT_EQ(test::LastLine(result.Output), "EInterrupted: Interrupted by " + name);
  }
}

}  // namespace
}  // namespace voltrane
