#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ggz/CacheRecord.h"
#include "ggz/GgzTestSupport.h"
#include "util/NumberText.h"

namespace voltrane::test {
namespace {

const std::string kGroundspeak =
    "<groundspeak:cache id=\"1\">\r\n"
    "  <groundspeak:name>Old Mill</groundspeak:name>\r\n"
    "  <groundspeak:type>Multi-cache</groundspeak:type>\r\n"
    "  <groundspeak:container>Micro</groundspeak:container>\r\n"
    "  <groundspeak:difficulty>2</groundspeak:difficulty>\r\n"
    "  <groundspeak:terrain>3.5</groundspeak:terrain>\r\n"
    "</groundspeak:cache>\r\n";

std::string Wpt(const std::string& body) {
  return "<wpt lat=\"48.1\" lon=\"17.2\">\r\n<name>GC1</name>\r\n<urlname>Url name</urlname>\r\n"
         "<sym>Geocache Found</sym>\r\n<type>Geocache|Traditional Cache</type>\r\n" +
         body + "</wpt>";
}

// The record of a waypoint with this geocache element, and that record when it gives only ratings.
std::string WithGeocache(const std::string& inner) {
  return BuildCacheRecord(Wpt("<geocache>" + inner + "</geocache>"), 0, 0);
}
std::string Rated(std::string difficulty, std::string size, std::string terrain) {
  return Record({"GC1", "Url name", "Traditional Cache", "48.1", "17.2", 0, 0, difficulty, size,
                 terrain, "true"});
}

// Each row: a waypoint and its record (the end-to-end index pins Groundspeak's cache data
// right under the waypoint). Groundspeak's cache data, under the extensions too, comes first, then
// the geocache element, then plain GPX; present but empty elements count as absent. Found is a
// symbol that holds "ound" in that case.
TEST(CacheRecord, TakesCacheDataFromGroundspeakThenTheGeocacheElementThenPlainGpx) {
  const std::pair<std::string, TRecordValues> kCases[] = {
      {Wpt("<extensions>" + kGroundspeak + "</extensions>"),
       {"GC1", "Old Mill", "Multi-cache", "48.1", "17.2", 0, 1, "2.0", "2.0", "3.5", "true"}},
      {Wpt("<geocache><name>Koala</name><type>Traditional</type><container>large</container>"
           "<difficulty>1.5</difficulty><terrain>4</terrain></geocache>"),
       {"GC1", "Koala", "Traditional", "48.1", "17.2", 0, 1, "1.5", "5.0", "4.0", "true"}},
      {Wpt("<groundspeak:cache><groundspeak:name></groundspeak:name><groundspeak:type> "
           "</groundspeak:type></groundspeak:cache><geocache><name/></geocache>"),
       {"GC1", "Url name", "Traditional Cache", "48.1", "17.2", 0, 1, "0.0", "1.0", "0.0", "true"}},
      {"<wpt><type>Waypoint</type></wpt>", {"", "", "Waypoint", "", "", 0, 1}},
      {"<wpt><type>a|b|c</type><sym>FOUND</sym></wpt>", {"", "", "b|c", "", "", 0, 1}},
  };
  for (const auto& [waypoint, values] : kCases)
    EXPECT_EQ(BuildCacheRecord(waypoint, 0, 1), Record(values)) << waypoint;
}

TEST(CacheRecord, ContainerTextMapsToSizeWhateverItsLetterCase) {
  const std::pair<const char*, const char*> kSizes[] = {
      {"MICRO", "2.0"},  {"Small", "3.0"},       {"regular", "4.0"}, {"Large", "5.0"},
      {"Other", "-1.0"}, {"Not Chosen", "-2.0"}, {"Virtual", "0.0"}, {"Unknown", "1.0"},
      {"", "1.0"},       {"micros", "1.0"}};
  for (const auto& [text, size] : kSizes)
    EXPECT_EQ(WithGeocache("<container>" + std::string(text) + "</container>"),
              Rated("0.0", size, "0.0"))
        << text;
}

// The one-digit texts have a fast way; it must write what the general conversion writes.
TEST(CacheRecord, RatingsHaveOneDecimalAndJunkReadsAsZero) {
  std::vector<std::pair<std::string, std::string>> ratings = {{"2", "2.0"},      {"2.25", "2.3"},
                                                              {"-1.25", "-1.3"}, {"n/a", "0.0"},
                                                              {"1,5", "0.0"},    {" 4.5 ", "4.5"}};
  for (char d = '0'; d <= '9'; ++d)
    for (std::string text : {std::string(1, d), std::string(1, d) + "." + d, std::string("0.") + d})
      ratings.push_back({text, FloatToStrDot(StrToFloatDot(text))});
  for (const auto& [text, written] : ratings)
    EXPECT_EQ(WithGeocache("<difficulty>" + text + "</difficulty><terrain>" + text + "</terrain>"),
              Rated(written, "1.0", written))
        << text;
}

// Each row: a waypoint whose code, name, type, lat and lon all hold the text, and what the
// record gives for it ("?" for U+FFFD), escaped.
TEST(CacheRecord, ValuesAreEscapedAndHoldOnlyWellFormedCharacters) {
  const std::pair<std::string, std::string> kCases[] = {
      {"&lt;/lat&gt;&quot;2&amp;'", "&lt;/lat&gt;&quot;2&amp;'"},
      {"a&#1;b", "a?b"},
      {std::string("a\x01\x1F\0b", 5), "a???b"},
      {"&#xFFFE;&#xFFFF;&#xFFFD;", "???"},
      {"caf\xE9 &amp;\t&#9;x", "caf? &amp;\t\tx"},
  };
  for (const auto& [text, marked] : kCases) {
    std::string e;
    for (char c : marked) e += c == '?' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
    std::string waypoint = "<wpt lat=\"" + text + "\" lon=\"" + text + "\"><name>" + text +
                           "</name><urlname>" + text + "</urlname><type>x|" + text +
                           "</type></wpt>";
    EXPECT_EQ(BuildCacheRecord(waypoint, 0, 0), Record({e, e, e, e, e, 0, 0})) << text;
  }
}

TEST(CacheRecord, ElementThatOnlyBeginsWithWptGivesTheTwoLineRecord) {
  EXPECT_EQ(BuildCacheRecord("<wptx lat=\"1\"><name>GC1</name></wptx>", 0, 0),
            "      <gch>\r\n      </gch>\r\n");
}

// ISO-8859-1 is pinned by the end-to-end index.
TEST(CacheRecord, SingleByteSourcesGiveUtf8Values) {
  // "Čáp" in windows-1250, with a letter right before a tag.
  EXPECT_EQ(BuildCacheRecord("<wpt><urlname>\xC8\xE1p</urlname></wpt>", 0, 0, "windows-1250"),
            Record({"", "\xC4\x8C\xC3\xA1p", "", "", "", 0, 0}));
}

// One builder parses a source's waypoints one after the other: nothing of one waypoint, nor of
// one that failed, nor of a document that grew too many names, reaches the next one's record.
TEST(CacheRecordBuilder, GivesEachWaypointTheRecordItHasAlone) {
  std::string manyNames;
  for (int i = 0; i < 5000; ++i) manyNames += " a" + std::to_string(i) + "=\"1\"";
  const std::pair<std::string, std::string> kWaypoints[] = {
      {Wpt(kGroundspeak), "utf-8"},
      {"<wpt lat=\"1\"" + manyNames + "><name>GC2</name></wpt>", "utf-8"},
      {"<wpt><name>GC3</name><desc>cut</wpt>", "utf-8"},
      {"<wpt><urlname>M\xFCller</urlname></wpt>", "ISO-8859-1"},
      {"<wpt/>", "utf-8"},
      {Wpt("<geocache><name>G</name></geocache>"), "utf-8"},
  };
  auto recordOrError = [](const std::function<std::string()>& build) {
    std::string record, error = KindAndMessageOf([&] { record = build(); });
    return record + error;
  };
  TCacheRecordBuilder builder;
  for (int pass = 0; pass < 2; ++pass)
    for (const auto& row : kWaypoints) {
      const std::string &waypoint = row.first, &encoding = row.second;
      int64_t length = int64_t(waypoint.size());
      EXPECT_EQ(recordOrError([&] { return builder.Build(waypoint, 7, length, encoding); }),
                recordOrError([&] { return BuildCacheRecord(waypoint, 7, length, encoding); }))
          << waypoint.substr(0, 40);
    }
}

// Each row: the start of a source and the encoding its records are read in.
TEST(SourceEncoding, IsTheDeclaredNameWhenTheLibraryKnowsIt) {
  const std::pair<const char*, const char*> kCases[] = {
      {"\xEF\xBB\xBF<?xml version='1.0' encoding='windows-1250'?><gpx>", "windows-1250"},
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><gpx>", "utf-8"},
      {"<?xml version=\"1.0\"?><gpx encoding=\"ISO-8859-2\">", "utf-8"},
      {"<gpx>", "utf-8"},
      {"", "utf-8"}};
  for (const auto& [start, encoding] : kCases) EXPECT_EQ(SourceEncoding(start), encoding) << start;
}

}  // namespace
}  // namespace voltrane::test
