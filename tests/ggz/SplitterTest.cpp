#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <tuple>

#include "TestSupport.h"
#include "ggz/BuildState.h"
#include "ggz/ChunkName.h"
#include "ggz/GgzTestSupport.h"
#include "ggz/IndexWriter.h"
#include "ggz/SplitGpxFile.h"
#include "util/Crc32.h"
#include "zip/ZipItem.h"

namespace voltrane::test {
namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<gpx>\r\n  ";
const std::string kClosing = "\r\n</gpx>\r\n";

std::string MaskTimes(const std::string& text) {
  static const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  return std::regex_replace(text, time, "TIME");
}

std::string Waypoint(const std::string& code) {
  return "<wpt lat=\"1\" lon=\"2\"><name>" + code + "</name></wpt>";
}

// The chunks as the splitter hands them on, and an index file in a temporary folder.
class Splitter : public ::testing::Test {
 protected:
  Splitter() : state(console), index(dir / "index.xml", TFileMode::Create) {
    state.WorkDir = dir / "";
    state.IndexStream = &index;
    state.OnChunkClosed = [this](const std::string& name, std::string&& bytes, uint32_t crc) {
      EXPECT_EQ(crc, Crc32Of(bytes)) << name;
      chunks[name] = std::move(bytes);
    };
  }

  void Split(const std::string& name, const std::string& content) {
    WriteFile(dir / name, content);
    SplitGpxFile(state, dir / name);
  }
  std::string Index() {
    index.Close();
    return MaskTimes(ReadFile(dir / "index.xml"));
  }

  TTempFolder dir;
  TStringConsole console;
  TBuildState state;
  TFileStream index;
  std::map<std::string, std::string> chunks;
};

TEST_F(Splitter, WaypointsAreRecognisedByTheirWholeName) {
  const std::string garmin =
      "<wpt lat=\"1\" lon=\"2\"><name>GC1</name><extensions><wptx1:WaypointExtension>"
      "<wptx1:DisplayMode>SymbolAndName</wptx1:DisplayMode></wptx1:WaypointExtension>"
      "</extensions></wpt>";
  // Each row: what follows the header in the source, and the chunk's waypoints.
  const std::pair<std::string, std::string> rows[] = {
      {garmin + "\r\n" + Waypoint("GC2"), garmin + Waypoint("GC2")},
      {"<wpt lat=\"1\" lon=\"2\"/>\r\n" + Waypoint("GC2"),
       "<wpt lat=\"1\" lon=\"2\"/>" + Waypoint("GC2")},
      {"<wpt/><wpt\tlat=\"3\"\r\n lon=\"4\" />", "<wpt/><wpt\tlat=\"3\"\r\n lon=\"4\" />"},
      {Waypoint("GC1") + "<wptgroup><wpt_x/></wptgroup>" + Waypoint("GC2"),
       Waypoint("GC1") + Waypoint("GC2")},
      {"<wpt lat=\"1\" lon=\"2\" x='a/>b'><name>GC1</name></wpt \r\n>",
       "<wpt lat=\"1\" lon=\"2\" x='a/>b'><name>GC1</name></wpt>"},
      {"<wpt lat=\"1\"><wptx>a</wptx ></wpt>", "<wpt lat=\"1\"><wptx>a</wptx ></wpt>"},
      // comments and routes between waypoints go, a comment inside one stays
      {Waypoint("GC1") + "\r\n  <!-- note -->\r\n  <wpt><!-- </wpt> --></wpt>\r\n  <rte/>",
       Waypoint("GC1") + "<wpt><!-- </wpt> --></wpt>"},
  };
  for (size_t k = 0; k < std::size(rows); ++k) {
    std::string name = "w" + std::to_string(k);
    Split(name + ".gpx", kHeader + rows[k].first + "\r\n</gpx>\r\n");
    EXPECT_EQ(chunks.at(name + "_0000.gpx"), kHeader + rows[k].second + kClosing) << rows[k].first;
  }
  // As many records as waypoints, the empty elements' and the tabbed one's among them.
  std::string index = Index();
  std::regex record("<gch>");
  EXPECT_EQ(std::distance(std::sregex_iterator(index.begin(), index.end(), record), {}), 12);
}

TEST_F(Splitter, HeaderLongerThanAChunkIsNoErrorWhileNoWaypointFollowsIt) {
  Split("empty.gpx",
        kHeader + "<metadata>" + std::string(size_t(kChunkSizeLimit), 'x') + "</metadata></gpx>");
  EXPECT_EQ(std::tuple(console.Text, chunks.size(), Index()),
            std::tuple("Reading: " + dir / "empty.gpx" + "\n", size_t(0), ""));
}

TEST_F(Splitter, HeaderLeavesOutTracksAndRoutesAndStartsEveryChunk) {
  // Each row: the source's text before its first waypoint, and how every chunk starts.
  const std::pair<std::string, std::string> rows[] = {
      {kHeader + "<trk><name>t</name><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk >\r\n  ",
       kHeader + "\r\n  "},
      {kHeader + "<rte/><rte>\r\n<rtept/></rte><trkx/>", kHeader + "<trkx/>"},
      {kHeader + "<metadata><trk/></metadata><rte a='>'><!-- </rte> --></rte>",
       kHeader + "<metadata></metadata>"},
      {"\xEF\xBB\xBF" + kHeader, "\xEF\xBB\xBF" + kHeader},  // a byte order mark stays
  };
  for (size_t k = 0; k < std::size(rows); ++k) {
    std::string name = "h" + std::to_string(k);
    Split(name + ".gpx", rows[k].first + Waypoint("GC1") + "</gpx>");
    EXPECT_EQ(chunks.at(name + "_0000.gpx"), rows[k].second + Waypoint("GC1") + kClosing);
  }
}

TEST_F(Splitter, RecordsOfManyWaypointsWaitInAFileAndComeBackInOrder) {
  const std::string tiny = "<wpt lat=\"1\" lon=\"2\"></wpt>";
  std::string source = kHeader, chunk = kHeader, records;
  for (int k = 0; k < 20000; ++k) {
    source += tiny + "\r\n";
    records += Record({"", "", "", "1", "2", int64_t(chunk.size()), int64_t(tiny.size())});
    chunk += tiny;
  }
  Split("many.gpx", source + "</gpx>");
  EXPECT_GT(records.size(), size_t(2 * (4 << 20)));  // spilled more than once
  EXPECT_EQ(Index(), FileElement("many_0000.gpx", Crc32Text(Crc32Of(chunk + kClosing)), records));
  EXPECT_FALSE(PathExists(state.RecordsSpillPath()));
}

// Each row: the source's line end, where its faulty waypoint starts, and where the parser puts
// the fault. The error names the source's line and column, whatever its line ends.
TEST_F(Splitter, WaypointThatCannotBeParsedIsNamedByItsSourceLineColumnAndOffset) {
  const std::tuple<std::string, size_t, std::string> kCases[] = {
      {"\n", 28, "[4:14]"}, {"\r\n", 30, "[4:14]"}, {"\r", 28, "[3:36]"}};
  for (const auto& [eol, at, position] : kCases) {
    std::string source = "<?xml version=\"1.0\"?>" + eol + "<gpx>" + eol +
                         "<wpt lat=\"1\" lon=\"2\">" + eol + "<name>\xC3\xA9</nam>" + eol +
                         "</wpt>" + eol + "</gpx>";
    EXPECT_EQ(KindAndMessageOf([&] { Split("bad.gpx", source); }),
              "Exception: Text \"e\" expected at " + position + " (line 4, column 13 of " +
                  dir / "bad.gpx" + "; waypoint at byte " + std::to_string(at) + ")");
  }
  EXPECT_EQ(Index(), "");  // the chunk open when the error passed gets no entry
}

TEST_F(Splitter, UnreadableSourceRaisesAfterItsReadingLine) {
  EXPECT_EQ(
      KindAndMessageOf([&] { SplitGpxFile(state, dir / "missing.gpx"); }),
      "EFOpenError: Cannot open file \"" + dir / "missing.gpx" + "\". No such file or directory");
  EXPECT_EQ(console.Text, "Reading: " + dir / "missing.gpx" + "\n");
}

TEST(ChunkNames, ReplaceTheExtensionByANumberOfAtLeastFourDigits) {
  EXPECT_EQ(ChunkFileName("/x/caches.gpx", 0), "caches_0000.gpx");
  EXPECT_EQ(ChunkFileName("/x/my.caches.gpx", 12), "my.caches_0012.gpx");
  EXPECT_EQ(ChunkFileName("/x.d/caches", 3), "caches_0003.gpx");
  EXPECT_EQ(ChunkFileName("caches.gpx", 10000), "caches_10000.gpx");
}

// Each row: a source's file name and the chunk names of the sources claimed so far (the
// end-to-end run pins a backslashed name and a name that is not UTF-8).
TEST(ChunkNames, AreSafeInAnyFolderAndTheCollisionRuleSeesThemSo) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> kCases[] = {
      {{"a:b*c?d\"e<f>g|h.gpx"}, {"a_b_c_d_e_f_g_h_0000.gpx"}},
      {{"tab\tcr\r\x7F\x01.gpx"}, {"tab_cr____0000.gpx"}},
      {{"\xEF\xBF\xBE\xED\xA0\x80.x"}, {"_____0000.gpx"}},
      {{"a:b.gpx", "a_b.xml", "A*B.gpx"}, {"a_b_0000.gpx", "a_b-2_0000.gpx", "A_B-3_0000.gpx"}},
      // a source named as the one before it was renamed takes the next free name
      {{"c.gpx", "c.xml", "c-2.gpx"}, {"c_0000.gpx", "c-2_0000.gpx", "c-2-2_0000.gpx"}},
  };
  for (const auto& [sources, expected] : kCases) {
    TStringConsole console;
    TBuildState state(console);
    std::vector<std::string> names;
    for (const std::string& source : sources)
      names.push_back(ChunkFileName(state.ClaimChunkBaseName("/x/" + source), 0));
    EXPECT_EQ(names, expected) << sources[0];
  }
}

TEST(IndexDocument, TimestampsAreZeroPaddedWithMilliseconds) {
  EXPECT_EQ(FormatIndexTimestamp(EncodeDateTime({2009, 3, 7, 8, 5, 9, 45})),
            "2009-03-07T08:05:09.045");
}

// The header and footer are pinned by the end-to-end runs; a CRC there may not start with 0.
TEST(IndexDocument, FileEntryEscapesItsNameAndHoldsTheChunkTimeInUtc) {
  // To the minute, as the seconds may tick on between the two readings.
  auto minute = [](time_t t) { return FormatIndexTimestamp(UnixToDateTime(t, 0)).substr(0, 16); };
  time_t before = time(nullptr);
  TMemoryStream index;
  WriteFileEntry(index, "a&b's.gpx", "", 0xABCD);
  time_t after = time(nullptr);
  std::string entry = index.DataString(), written = entry.substr(entry.find("<time>") + 6, 16);
  EXPECT_TRUE(written == minute(before) || written == minute(after)) << written;
  EXPECT_EQ(MaskTimes(entry), FileElement("a&amp;b's.gpx", "0000ABCD"));
}

}  // namespace
}  // namespace voltrane::test
