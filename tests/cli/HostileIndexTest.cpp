// Whole runs over sources whose values or file names a device or an extractor could not take
// as they are: the index must stay well-formed and name each member as the archive does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cli/GpxFixtures.h"
#include "cli/RunChecks.h"

namespace voltrane {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct TRun {
  std::string Index;
  std::vector<std::string> Members;  // as unzip lists them
  std::string Chunk;                 // the one chunk's bytes
};

// Runs the tool on one source named fileName in src/, into out/o.ggz, with the checks every
// successful run gets; the chunk is read under the name the index gives it.
TRun RunOnSource(const std::string& fileName, const std::string& content) {
  test::TTempFolder dir;
  mkdir((dir / "src").c_str(), 0755);
  mkdir((dir / "out").c_str(), 0755);
  test::WriteFile(dir / "src/" + fileName, content);
  test::TTreeSnapshot before = test::SnapshotTree(dir / "out");
  test::TProcessResult result =
      test::RunProcess({test::VoltraneExe(), dir / "src/" + fileName, dir / "out/o.ggz"});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  test::ExpectOnlyArchiveChanged(before, dir / "out", "o.ggz");
  TRun run;
  run.Index = test::IndexOfArchive(dir / "out/o.ggz");
  std::istringstream listing(test::RunProcess({"/usr/bin/unzip", "-Z1", dir / "out/o.ggz"}).Output);
  for (std::string line; std::getline(listing, line);) run.Members.push_back(line);
  size_t at = run.Index.find("<name>");
  if (at != std::string::npos) {
    std::string name = run.Index.substr(at + 6, run.Index.find("</name>", at) - at - 6);
    run.Chunk =
        test::RunProcess({"/usr/bin/unzip", "-p", dir / "out/o.ggz", "data/" + name}).Output;
  }
  return run;
}

// Each row: a waypoint's name element as the source has it, and the index's <name> text.
TEST(HostileIndex, ValuesThatXmlForbidsBecomeReplacementCharacters) {
  const std::pair<std::string, std::string> kCases[] = {
      {"a&#1;b", "a" + kFffd + "b"},
      {"a\x01"
       "b",
       "a" + kFffd + "b"},
      {std::string("a\0b", 3), "a" + kFffd + "b"},
      {"&#xFFFE;&#xFFFF;", kFffd + kFffd},
      {"caf\xE9", "caf" + kFffd},
  };
  for (const auto& [value, expected] : kCases) {
    std::string waypoint =
        "<wpt lat=\"1\x02\" lon=\"" + value + "\"><urlname>" + value + "</urlname></wpt>\r\n";
    TRun run = RunOnSource("c.gpx", test::Gpx(waypoint));
    EXPECT_NE(run.Index.find("<name>" + expected + "</name>"), std::string::npos) << run.Index;
    EXPECT_NE(run.Index.find("<lat>1" + kFffd + "</lat>"), std::string::npos) << run.Index;
    EXPECT_NE(run.Index.find("<lon>" + expected + "</lon>"), std::string::npos) << run.Index;
    EXPECT_NE(run.Chunk.find(waypoint), std::string::npos) << "chunk keeps the source's bytes";
  }
}

// Each row: a source's file name and the chunk member that both unzip and the index name.
TEST(HostileIndex, ChunkNamesAreSafeAndTheSameInArchiveAndIndex) {
  const std::pair<std::string, std::string> kCases[] = {
      {"..\\..\\evil.gpx", ".._.._evil_0000.gpx"}, {"a:b.gpx", "a_b_0000.gpx"},
      {"tab\x01\x1F.gpx", "tab___0000.gpx"},       {"caf\xE9.gpx", "caf__0000.gpx"},
      {"caf\xC3\xA9.gpx", "caf\xC3\xA9_0000.gpx"},
  };
  for (const auto& [fileName, chunkName] : kCases) {
    TRun run = RunOnSource(fileName, test::Gpx(test::Waypoint("GC1")));
    EXPECT_NE(run.Index.find("<name>" + chunkName + "</name>"), std::string::npos) << run.Index;
    EXPECT_EQ(run.Members,
              (std::vector<std::string>{"data/", "data/" + chunkName, "index/", "index/com/",
                                        "index/com/garmin/", "index/com/garmin/geocaches/",
                                        "index/com/garmin/geocaches/v0/",
                                        "index/com/garmin/geocaches/v0/index.xml"}))
        << fileName;
    EXPECT_NE(run.Chunk.find(test::Waypoint("GC1")), std::string::npos) << fileName;
  }
}

}  // namespace
}  // namespace voltrane
