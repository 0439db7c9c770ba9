// Unusual sources through the real executable: each run replaces an archive made before,
// and leaves the destination's folder as it was unless it succeeds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "GpxFixtures.h"
#include "RunChecks.h"
#include "TestSupport.h"

namespace voltrane {
namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A run over one source, dir/src/<name>, into dir/out/o.ggz, which holds an older archive.
struct TSplitRun {
  test::TProcessResult run;
  std::string source;
  std::string index;  // on success
};

TSplitRun SplitRun(const test::TTempFolder& dir, const std::string& name,
                   const std::string& bytes) {
  ::mkdir((dir / "src").c_str(), 0755);
  ::mkdir((dir / "out").c_str(), 0755);
  const std::string out = dir / "out/", archive = out + "o.ggz";
  test::WriteFile(dir / "older.gpx", test::Gpx(test::Waypoint("GCOLD")));
  EXPECT_EQ(test::RunProcess({test::VoltraneExe(), dir / "older.gpx", archive}).ExitCode, 0);
  test::TTreeSnapshot before = test::SnapshotTree(out);
  TSplitRun result{{}, dir / ("src/" + name), {}};
  test::WriteFile(result.source, bytes);
  result.run = test::RunProcess({test::VoltraneExe(), result.source, archive});
  if (result.run.ExitCode == 0) {
    test::ExpectOnlyArchiveChanged(before, out, "o.ggz");
    result.index = test::IndexOfArchive(archive);
  } else {
    test::ExpectTreeUnchanged(before, out);
  }
  return result;
}

TEST(HostileSplit, WaypointsAreRecognisedByTheirWholeName) {
  struct {
    std::string waypoints;
    int count;
  } rows[] = {
      {test::Waypoint("GC1",
                      "<extensions><wptx1:WaypointExtension><wptx1:DisplayMode>"
                      "SymbolAndName</wptx1:DisplayMode></wptx1:WaypointExtension>"
                      "</extensions>") +
           test::Waypoint("GC2"),
       2},
      {"<wpt lat=\"1\" lon=\"2\"/>\r\n" + test::Waypoint("GC2"), 2},
      {"<wptgroup><name>G</name></wptgroup>\r\n" + test::Waypoint("GC1") + "<wptgroup/>" +
           test::Waypoint("GC2"),
       2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.waypoints);
    test::TTempFolder dir;
    TSplitRun split = SplitRun(dir, "c.gpx", test::Gpx(row.waypoints));
    ASSERT_EQ(split.run.ExitCode, 0) << split.run.Output;
    EXPECT_NE(split.run.Output.find("Processed waypoints: " + std::to_string(row.count)),
              std::string::npos);
    EXPECT_EQ(Count(split.index, "<gch>"), size_t(row.count));
    EXPECT_EQ(Count(split.index, "<code>GC2</code>"), 1u);
  }
}

TEST(HostileSplit, WideTextSourcesAreRefusedByName) {
  const std::string utf16le("<\0?\0x\0m\0l\0", 10), utf32be("\0\0\0<\0\0\0?", 8);
  struct {
    std::string bytes;
    std::string encoding;
  } rows[] = {
      {"\xFF\xFE" + utf16le, "UTF-16"},
      {"\xFE\xFF" + utf16le.substr(1), "UTF-16"},
      {utf16le, "UTF-16"},
      {std::string("\0\0\xFE\xFF", 4) + utf32be, "UTF-32"},
      {std::string("\xFF\xFE\0\0", 4) + utf32be.substr(3), "UTF-32"},
      {utf32be, "UTF-32"},
  };
  for (const auto& row : rows) {
    test::TTempFolder dir;
    TSplitRun split = SplitRun(dir, "wide.gpx", row.bytes);
    EXPECT_EQ(split.run.ExitCode, 1);
    EXPECT_NE(split.run.Output.find("EEncodingError: \"" + split.source + "\" is " + row.encoding +
                                    " text, which cannot be read: save it as UTF-8"),
              std::string::npos)
        << split.run.Output;
  }
}

TEST(HostileSplit, MalformedWaypointIsNamedByItsLineAndColumn) {
  test::TTempFolder dir;
  // Lines 1 and 2 are the header, 3 to 5 a good waypoint, and line 6 holds the fault.
  std::string source = test::kGpxHeader + "<wpt lat=\"1\" lon=\"2\">\r\n<name>GC1</name>\r\n" +
                       "</wpt>\r\n<wpt lat=\"3\"><bad></wpt>\r\n</gpx>\r\n";
  TSplitRun split = SplitRun(dir, "bad.gpx", source);
  EXPECT_EQ(split.run.ExitCode, 1);
  EXPECT_NE(split.run.Output.find(
                "Exception: Text \"bad\" expected at [3:21] (line 6, column 21 of " + split.source +
                "; waypoint at byte " + std::to_string(source.find("<wpt lat=\"3\"")) + ")\n"),
            std::string::npos)
      << split.run.Output;
}

TEST(HostileSplit, HeaderLongerThanAChunkEndsTheRun) {
  test::TTempFolder dir;
  TSplitRun split = SplitRun(dir, "long.gpx",
                             test::Gpx("<metadata><desc>" + test::Letters(4600000, 3) +
                                       "</desc></metadata>" + test::Waypoint("GC1")));
  EXPECT_EQ(split.run.ExitCode, 1);
  EXPECT_NE(split.run.Output.find("EHeaderTooLongError: The text before the first waypoint of \"" +
                                  split.source + "\" is longer than a chunk file may be"),
            std::string::npos)
      << split.run.Output;
}

}  // namespace
}  // namespace voltrane
