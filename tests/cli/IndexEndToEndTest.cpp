// Whole runs whose index document is compared byte for byte (times masked), or whose
// sources hold what a device or an extractor could not take as it is.
#include <gtest/gtest.h>

#include <regex>

#include "RunChecks.h"

namespace voltrane {
namespace {

const char kPocketQuery[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<gpx version=\"1.0\" creator=\"Groundspeak Pocket Query\">\r\n"
    "  <wpt lat=\"48.329440\" lon=\"17.885885\">\r\n"
    "    <name>GC3AGZG</name>\r\n"
    "    <urlname>Old Mill</urlname>\r\n"
    "    <sym>Geocache Found</sym>\r\n"
    "    <type>Geocache|Multi-cache</type>\r\n"
    "    <groundspeak:cache id=\"1\" "
    "xmlns:groundspeak=\"http://www.groundspeak.com/cache/1/0/1\">\r\n"
    "      <groundspeak:name>Old Mill &amp; Weir</groundspeak:name>\r\n"
    "      <groundspeak:type>Multi-cache</groundspeak:type>\r\n"
    "      <groundspeak:container>Small</groundspeak:container>\r\n"
    "      <groundspeak:difficulty>2</groundspeak:difficulty>\r\n"
    "      <groundspeak:terrain>1.5</groundspeak:terrain>\r\n"
    "    </groundspeak:cache>\r\n"
    "  </wpt>\r\n"
    "</gpx>\r\n";

// ISO-8859-1, the cache data in an opencaching-style element under extensions.
const char kLatin1[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
    "<gpx version=\"1.1\">\r\n"
    "<wpt lat=\"-27.47\" lon=\"153.02\"><name>GA1234</name><extensions><geocache>"
    "<name>M\xfcller\xb4s Br\xfc"
    "cke</name><type>Traditional</type><container>micro</container>"
    "<difficulty>1.5</difficulty><terrain>4.5</terrain></geocache></extensions></wpt>\r\n"
    "</gpx>\r\n";

// A file element of the index holding one cache record, byte for byte: the chunk, crc, code,
// name, type, lat, lon, file_pos, file_len, difficulty, size, terrain and found.
std::string IndexFile(const std::vector<std::string>& v) {
  auto line = [](int indent, const std::string& element, const std::string& value) {
    return std::string(indent, ' ') + "<" + element + ">" + value + "</" + element + ">\r\n";
  };
  return "   <file>\r\n" + line(5, "name", v[0]) + line(5, "crc", v[1]) + line(5, "time", "TIME") +
         "      <gch>\r\n" + line(9, "code", v[2]) + line(9, "name", v[3]) + line(9, "type", v[4]) +
         line(9, "lat", v[5]) + line(9, "lon", v[6]) + line(9, "file_pos", v[7]) +
         line(9, "file_len", v[8]) + "         <ratings>\r\n" + line(12, "awesomeness", "3.0") +
         line(12, "difficulty", v[9]) + line(12, "size", v[10]) + line(12, "terrain", v[11]) +
         "         </ratings>\r\n" + line(9, "found", v[12]) + "      </gch>\r\n   </file>\r\n";
}

const std::string kExpectedIndex =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<ggz xmlns=\"http://www.opencaching.com/xmlschemas/ggz/1/0\">\r\n"
    "  <time>TIME</time>\r\n" +
    IndexFile({"a_0000.gpx", "9578335C", "GC3AGZG", "Old Mill &amp; Weir", "Multi-cache",
               "48.329440", "17.885885", "98", "585", "2.0", "3.0", "1.5", "true"}) +
    IndexFile({"b_0000.gpx", "E242E3C4", "GA1234",
               "M\xC3\xBCller\xC2\xB4s Br\xC3\xBC"
               "cke",
               "Traditional", "-27.47", "153.02", "66", "232", "1.5", "2.0", "4.5", "false"}) +
    "</ggz>\r\n";

using IndexEndToEnd = test::TToolRun;

TEST_F(IndexEndToEnd, IndexDocumentIsExactAndEveryRecordSelectsItsWaypoint) {
  test::WriteFile(dir / "a.gpx", kPocketQuery);
  test::WriteFile(dir / "b.gpx", kLatin1);
  ASSERT_EQ(Run({"*.gpx", "out.ggz"}).ExitCode, 0);
  const std::string archive = dir / "out.ggz", source = kPocketQuery;
  EXPECT_EQ(std::regex_replace(test::IndexOfArchive(archive),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"), "TIME"),
            kExpectedIndex);
  const std::string chunk = test::Member(archive, "data/a_0000.gpx");
  size_t at = source.find("<wpt");
  EXPECT_EQ(chunk.substr(98, 585), source.substr(at, source.find("</wpt>") + 6 - at));
}

// The index stays well-formed (as every run checks) with U+FFFD for what XML forbids, names
// each chunk as the archive does whatever the source's file name, and the chunks keep the
// source's bytes.
TEST_F(IndexEndToEnd, HostileValuesAndFileNamesGiveAnIndexNamingEachMember) {
  const std::string fffd = "\xEF\xBF\xBD";
  // A value as the source has it, and as the index holds it.
  const std::pair<std::string, std::string> kValues[] = {
      {"a&#1;b", "a" + fffd + "b"},
      {"a\001b", "a" + fffd + "b"},
      {std::string("a\0b", 3), "a" + fffd + "b"},
      {"&#xFFFE;&#xFFFF;", fffd + fffd},
      {"caf\xE9", "caf" + fffd},
  };
  // A source's file name, and the chunk member it gives.
  const std::pair<std::string, std::string> kNames[] = {
      {"..\\..\\evil.gpx", ".._.._evil_0000.gpx"},
      {"caf\xE9.gpx", "caf__0000.gpx"},
      {"caf\xC3\xA9.gpx", "caf\xC3\xA9_0000.gpx"},
  };
  std::string waypoints, chunkBytes = test::kGpxHeader;  // a chunk holds them without line ends
  for (const auto& [value, expected] : kValues) {
    std::string waypoint =
        "<wpt lat=\"1\x02\" lon=\"" + value + "\"><urlname>" + value + "</urlname></wpt>";
    waypoints += waypoint + "\r\n";
    chunkBytes += waypoint;
  }
  std::vector<std::string> args;
  std::string members = "data/\n";
  for (const auto& [fileName, chunk] : kNames) {
    test::WriteFile(dir / fileName, test::Gpx(waypoints));
    args.push_back(fileName);
    members += "data/" + chunk + "\n";
  }
  args.push_back("out.ggz");
  ASSERT_EQ(Run(args).ExitCode, 0);
  const std::string archive = dir / "out.ggz", index = test::IndexOfArchive(archive);
  EXPECT_EQ(test::MemberList(archive), members + test::kIndexMemberList);
  for (const auto& [fileName, chunk] : kNames) {
    EXPECT_NE(index.find("<name>" + chunk + "</name>"), std::string::npos) << chunk;
    EXPECT_EQ(test::Member(archive, "data/" + chunk), chunkBytes + "\r\n</gpx>\r\n") << chunk;
  }
  EXPECT_NE(index.find("<lat>1" + fffd + "</lat>"), std::string::npos);
  for (const auto& [value, expected] : kValues) {
    EXPECT_NE(index.find("<name>" + expected + "</name>"), std::string::npos) << expected;
    EXPECT_NE(index.find("<lon>" + expected + "</lon>"), std::string::npos) << expected;
  }
}

}  // namespace
}  // namespace voltrane
