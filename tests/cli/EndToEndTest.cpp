// The real executable: its transcript, archive and index byte for byte (times masked), and
// what a user meets of its options.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "RunChecks.h"
#include "cli/Driver.h"
#include "cli/XFiles.h"
#include "ggz/GgzTestSupport.h"

namespace voltrane::test {
namespace {

using EndToEnd = TToolRun;

// A waypoint text of exactly size bytes, as a chunk holds it (without the line break after it).
std::string SizedWaypoint(const std::string& code, size_t size, unsigned seed) {
  size_t frame = Waypoint(code).size() - 2;
  return Waypoint(code, Letters(size - frame, seed)).substr(0, size);
}

std::string WithoutTimes(const std::string& text) {
  return std::regex_replace(
      text, std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d|<time>[^<]*</time>"), "T");
}

// As when the shell expands an unquoted mask: the masks are read in their order, a wildcard's
// files sorted whatever the case of their letters, a file that two masks match once;
// the first chunk reaches the 4,500,000-byte limit exactly, in the second the next waypoint
// would pass it by one byte. Only the times may change with the number of deflate threads.
TEST_F(EndToEnd, TranscriptAndArchiveAreExactWhateverTheThreadCount) {
  const std::string header = kGpxHeader, closing = "\r\n</gpx>\r\n";
  const size_t room = 4500000 - header.size();
  std::vector<std::string> w;
  std::string source = header;
  for (size_t size :
       {size_t(2000000), room - 2000000, size_t(2000000), room + 1 - 2000000, size_t(1000)}) {
    w.push_back(SizedWaypoint("GC" + std::to_string(w.size()), size, unsigned(w.size())));
    source += w.back() + "\r\n";
  }
  mkdir((dir / "in").c_str(), 0755);
  WriteFile(dir / "in/caches.gpx", source + "</gpx>\r\n");
  WriteFile(dir / "in/caches.xml", Gpx(Waypoint("GCX")));
  WriteFile(dir / "in/none.gpx", Gpx(""));
  WriteFile(dir / "in/skip.txt", Gpx(Waypoint("GC9")));
  const std::vector<std::pair<std::string, std::string>> chunks = {
      {"caches_0000.gpx", header + w[0] + w[1] + closing},
      {"caches_0001.gpx", header + w[2] + closing},
      {"caches_0002.gpx", header + w[3] + w[4] + closing},
      {"caches-2_0000.gpx",
       header + SizedWaypoint("GCX", Waypoint("GCX").size() - 2, 0) + closing}};
  // The index's file entries in the order of the chunks (the check that every run gets
  // compares their CRCs, but not whether each chunk has one).
  std::string entries;
  for (const auto& [name, bytes] : chunks) entries += name + ";";
  const std::string members =
      "data/\ndata/caches-2_0000.gpx\ndata/caches_0000.gpx\ndata/caches_0001.gpx\n"
      "data/caches_0002.gpx\n" +
      kIndexMemberList;
  const std::string transcript =
      kBanner + "Creating temporary storage...\nReading: " + dir / "in/caches.gpx\n" +
      "Writing: caches_0000.gpx\nWriting: caches_0001.gpx\nWriting: caches_0002.gpx\n" +
      "Processed waypoints: 5\nReading: " + dir / "in/none.gpx\nReading: " +
      dir / "in/caches.xml\nWriting: caches-2_0000.gpx\nProcessed waypoints: 1\nBuilding: " +
      dir / "out/caches.ggz\n" + "Cleaning temporary files...\nDone!\nDuration: D\n";

  std::string firstListing, firstIndex;
  for (std::string threads : {"", "1", "2", "3"}) {
    SCOPED_TRACE("VOLTRANE_THREADS=" + threads);
    TProcessResult result = Run({"in/*.GPX", "in/caches.xml", "in/caches.gpx", "out/./caches.ggz"},
                                "out/caches.ggz", {.Environment = {"VOLTRANE_THREADS=" + threads}});
    ASSERT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(MaskDuration(result.Output), transcript);
    const std::string archive = dir / "out/caches.ggz";
    EXPECT_EQ(MemberList(archive), members);
    for (const auto& [name, bytes] : chunks)
      EXPECT_EQ(Member(archive, "data/" + name), bytes) << name;
    std::string index = WithoutTimes(IndexOfArchive(archive));
    std::string named;
    std::regex entry("<file>\r\n     <name>([^<]*)");
    for (std::sregex_iterator it(index.begin(), index.end(), entry), end; it != end; ++it)
      named += (*it)[1].str() + ";";
    EXPECT_EQ(named, entries);
    // Sizes, methods and CRCs of every member; the index's size follows its times.
    std::string listing =
        std::regex_replace(WithoutTimes(RunProcess({"/usr/bin/unzip", "-v", archive}).Output),
                           std::regex(".*index\\.xml\n|[^\n]*files\n$"), "");
    if (threads.empty()) firstListing = listing, firstIndex = index;
    EXPECT_EQ(listing, firstListing);
    EXPECT_EQ(index, firstIndex);
  }
}

TEST_F(EndToEnd, UnusableThreadSettingEndsTheRunBeforeAnythingIsWritten) {
  for (std::string value : {"0", "-1", "2x", "257", "99999999999"}) {
    ExpectFailure(
        Run({"a.gpx", "out.ggz"}, "out.ggz", {.Environment = {"VOLTRANE_THREADS=" + value}}),
        "ESettingError: VOLTRANE_THREADS must be a whole number from 1 to 256, not \"" + value +
            "\"",
        true);
  }
}

// The banner and --version show the file version of the block.
TEST(Version, NameThatTheBlockLacksGivesNoValue) {
  EXPECT_EQ(TXFileVersion().GetValue("Comments"), "");
}

TEST(Duration, IsTotalHoursThenTwoDigitMinutesAndSeconds) {
  EXPECT_EQ(FormatDuration(65.9), "0:01:05");
  EXPECT_EQ(FormatDuration(3599.999), "0:59:59");
  EXPECT_EQ(FormatDuration(25 * 3600 + 61), "25:01:01");
  EXPECT_EQ(FormatDuration(-1), "0:00:00");
}

using Options = TToolRun;

TEST_F(Options, PrintWhatTheyNameWithTheirStatus) {
  const std::string usage =
      kBanner + "Usage:\nvoltrane <source_gpx_files_mask> <destination_ggz_file>\n";
  const std::string help = usage + "\nPacks the geocache waypoints of the GPX files";
  // Anything else keeps the usage: no argument or a single source, other spellings, options
  // that are not alone.
  for (const char* argument : {"--help", "-h", "--version", "-V", "", "a.gpx", "/?", "--HELP", "-v",
                               "--help ", "--help --version"}) {
    SCOPED_TRACE(argument);
    TProcessResult result =
        Run(*argument ? std::vector<std::string>{argument} : std::vector<std::string>(), "");
    std::string a = argument, output = a == "--help" || a == "-h" ? help : usage;
    if (a == "--version" || a == "-V") output = "voltrane 1.0.0.2\n";
    EXPECT_EQ(result.ExitCode, output == usage ? 2 : 0);
    bool isHelp = output == help;
    EXPECT_EQ(result.Output.substr(0, isHelp ? help.size() : std::string::npos), output);
    for (const char* text : {"--version", "128+N", "VOLTRANE_THREADS"})
      EXPECT_TRUE(!isHelp || result.Output.find(text) != std::string::npos) << text;
  }
}

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

const std::string kExpectedIndex =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<ggz xmlns=\"http://www.opencaching.com/xmlschemas/ggz/1/0\">\r\n"
    "  <time>TIME</time>\r\n" +
    FileElement("a_0000.gpx", "9578335C",
                Record({"GC3AGZG", "Old Mill &amp; Weir", "Multi-cache", "48.329440", "17.885885",
                        98, 585, "2.0", "3.0", "1.5", "true"})) +
    FileElement(
        "b_0000.gpx", "E242E3C4",
        Record({"GA1234",
                "M\xC3\xBCller\xC2\xB4s Br\xC3\xBC"
                "cke",
                "Traditional", "-27.47", "153.02", 66, 232, "1.5", "2.0", "4.5", "false"})) +
    "</ggz>\r\n";

using IndexEndToEnd = TToolRun;

TEST_F(IndexEndToEnd, IndexDocumentIsExact) {
  WriteFile(dir / "a.gpx", kPocketQuery);
  WriteFile(dir / "b.gpx", kLatin1);
  ASSERT_EQ(Run({"*.gpx", "out.ggz"}).ExitCode, 0);
  EXPECT_EQ(std::regex_replace(IndexOfArchive(dir / "out.ggz"),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"), "TIME"),
            kExpectedIndex);
}

// The values a device or an extractor could not take are the cache record's unit tests.
TEST_F(IndexEndToEnd, SourceFileNamesGiveChunksThatTheIndexNamesAsTheArchiveDoes) {
  // A source's file name, and the chunk member it gives.
  const std::pair<std::string, std::string> kNames[] = {
      {"..\\..\\evil.gpx", ".._.._evil_0000.gpx"},
      {"caf\xE9.gpx", "caf__0000.gpx"},
      {"caf\xC3\xA9.gpx", "caf\xC3\xA9_0000.gpx"},
  };
  std::vector<std::string> args;
  std::string members = "data/\n";
  for (const auto& [fileName, chunk] : kNames) {
    WriteFile(dir / fileName, Gpx(Waypoint("GC1")));
    args.push_back(fileName);
    members += "data/" + chunk + "\n";
  }
  args.push_back("out.ggz");
  ASSERT_EQ(Run(args).ExitCode, 0);
  // The check that every run gets finds each index entry's member.
  EXPECT_EQ(MemberList(dir / "out.ggz"), members + kIndexMemberList);
}

}  // namespace
}  // namespace voltrane::test
