#include <gtest/gtest.h>

#include "ggz/CacheRecord.h"
#include "rt/Exception.h"
#include "util/NumberText.h"

namespace voltrane {
namespace {

struct TExpected {
  std::string code, name, type, lat, lon;
  int64_t pos = 0, len = 0;
  std::string difficulty = "0.0", size = "1.0", terrain = "0.0", found = "false";
};

std::string Record(const TExpected& e) {
  return "      <gch>\r\n         <code>" + e.code + "</code>\r\n         <name>" + e.name +
         "</name>\r\n         <type>" + e.type + "</type>\r\n         <lat>" + e.lat +
         "</lat>\r\n         <lon>" + e.lon + "</lon>\r\n         <file_pos>" +
         std::to_string(e.pos) + "</file_pos>\r\n         <file_len>" + std::to_string(e.len) +
         "</file_len>\r\n         <ratings>\r\n            <awesomeness>3.0</awesomeness>\r\n" +
         "            <difficulty>" + e.difficulty + "</difficulty>\r\n            <size>" +
         e.size + "</size>\r\n            <terrain>" + e.terrain +
         "</terrain>\r\n         </ratings>\r\n" + "         <found>" + e.found +
         "</found>\r\n      </gch>\r\n";
}

const std::string kGroundspeak =
    "<groundspeak:cache id=\"1\">\r\n"
    "  <groundspeak:name>Old Mill</groundspeak:name>\r\n"
    "  <groundspeak:type>Multi-cache</groundspeak:type>\r\n"
    "  <groundspeak:container>Micro</groundspeak:container>\r\n"
    "  <groundspeak:difficulty>2</groundspeak:difficulty>\r\n"
    "  <groundspeak:terrain>3.5</groundspeak:terrain>\r\n"
    "</groundspeak:cache>\r\n";

std::string Wpt(const std::string& body,
                const std::string& attributes = " lat=\"48.1\" lon=\"17.2\"") {
  return "<wpt" + attributes + ">\r\n<name>GC1</name>\r\n<urlname>Url name</urlname>\r\n" +
         "<sym>Geocache Found</sym>\r\n<type>Geocache|Traditional Cache</type>\r\n" + body +
         "</wpt>";
}

TEST(CacheRecord, CacheDataUnderTheWaypointOrItsExtensionsGivesTheSameRecord) {
  TExpected e{"GC1", "Old Mill", "Multi-cache", "48.1", "17.2", 7, 99, "2.0", "2.0", "3.5", "true"};
  EXPECT_EQ(BuildCacheRecord(Wpt(kGroundspeak), 7, 99), Record(e));
  EXPECT_EQ(BuildCacheRecord(Wpt("<extensions>" + kGroundspeak + "</extensions>"), 7, 99),
            Record(e));
}

TEST(CacheRecord, FallsBackToTheGeocacheElementThenToPlainGpx) {
  std::string geocache =
      "<geocache><name>Koala</name><type>Traditional</type><container>large</container>"
      "<difficulty>1.5</difficulty><terrain>4</terrain></geocache>";
  EXPECT_EQ(
      BuildCacheRecord(Wpt(geocache), 0, 1),
      Record({"GC1", "Koala", "Traditional", "48.1", "17.2", 0, 1, "1.5", "5.0", "4.0", "true"}));
  // Present but empty elements fall back as if they were absent.
  std::string empty =
      "<groundspeak:cache><groundspeak:name></groundspeak:name><groundspeak:type> "
      "</groundspeak:type>"
      "</groundspeak:cache><geocache><name/></geocache>";
  EXPECT_EQ(BuildCacheRecord(Wpt(empty), 0, 1),
            Record({"GC1", "Url name", "Traditional Cache", "48.1", "17.2", 0, 1, "0.0", "1.0",
                    "0.0", "true"}));
  EXPECT_EQ(BuildCacheRecord("<wpt><type>Waypoint</type></wpt>", 5, 6),
            Record({"", "", "Waypoint", "", "", 5, 6}));
  EXPECT_EQ(BuildCacheRecord("<wpt><type>a|b|c</type><sym>FOUND</sym></wpt>", 5, 6),
            Record({"", "", "b|c", "", "", 5, 6}));
}

TEST(CacheRecord, ContainerTextMapsToSizeWhateverItsLetterCase) {
  const std::pair<const char*, const char*> sizes[] = {
      {"MICRO", "2.0"},  {"Small", "3.0"},       {"regular", "4.0"}, {"Large", "5.0"},
      {"Other", "-1.0"}, {"Not Chosen", "-2.0"}, {"Virtual", "0.0"}, {"Unknown", "1.0"},
      {"", "1.0"},       {"micros", "1.0"}};
  for (const auto& [text, size] : sizes) {
    std::string record = BuildCacheRecord(
        Wpt("<geocache><container>" + std::string(text) + "</container></geocache>"), 0, 0);
    EXPECT_NE(record.find("<size>" + std::string(size) + "</size>"), std::string::npos) << text;
  }
}

TEST(CacheRecord, RatingsHaveOneDecimalAndJunkReadsAsZero) {
  const std::pair<const char*, const char*> ratings[] = {{"2", "2.0"},      {"2.25", "2.3"},
                                                         {"-1.25", "-1.3"}, {"n/a", "0.0"},
                                                         {"1,5", "0.0"},    {" 4.5 ", "4.5"}};
  for (const auto& [text, written] : ratings) {
    std::string record = BuildCacheRecord(
        Wpt("<geocache><difficulty>" + std::string(text) + "</difficulty></geocache>"), 0, 0);
    EXPECT_NE(record.find("<difficulty>" + std::string(written) + "</difficulty>"),
              std::string::npos)
        << text;
  }
}

TEST(CacheRecord, EveryOneDigitRatingIsWrittenAsTheGeneralConversionWritesIt) {
  for (char digit = '0'; digit <= '9'; ++digit) {
    for (std::string text :
         {std::string(1, digit), std::string(1, digit) + "." + digit, std::string("0.") + digit}) {
      std::string record =
          BuildCacheRecord(Wpt("<geocache><terrain>" + text + "</terrain></geocache>"), 0, 0);
      EXPECT_NE(record.find("<terrain>" + FloatToStrDot(StrToFloatDot(text)) + "</terrain>"),
                std::string::npos)
          << text;
    }
  }
}

TEST(CacheRecord, FoundOnlyWhenTheSymbolHoldsOundInThatCase) {
  EXPECT_NE(BuildCacheRecord("<wpt><sym>Geocache Found</sym></wpt>", 0, 0).find("<found>true"),
            std::string::npos);
  EXPECT_NE(BuildCacheRecord("<wpt><sym>Geocache FOUND</sym></wpt>", 0, 0).find("<found>false"),
            std::string::npos);
}

TEST(CacheRecord, EscapesCodeNameTypeAndCoordinates) {
  std::string waypoint =
      "<wpt lat=\"&lt;/lat&gt;1\" lon=\"&quot;2&amp;\"><name>A&amp;B</name>"
      "<urlname>Tom &amp; Jerry's &lt;den&gt;</urlname><type>x|&quot;y&quot;</type></wpt>";
  EXPECT_EQ(BuildCacheRecord(waypoint, 0, 0),
            Record({"A&amp;B", "Tom &amp; Jerry's &lt;den&gt;", "&quot;y&quot;", "&lt;/lat&gt;1",
                    "&quot;2&amp;", 0, 0}));
}

// Each row: a waypoint whose code, name, type, lat and lon all hold the text, and what the
// record gives for it ("?" for U+FFFD).
TEST(CacheRecord, ValuesHoldOnlyWellFormedCharactersWhateverTheSourceHolds) {
  const std::pair<std::string, std::string> kCases[] = {
      {"a&#1;b", "a?b"},
      {std::string("a\x01\x1F\0b", 5), "a???b"},
      {"&#xFFFE;&#xFFFF;&#xFFFD;", "???"},
      {"caf\xE9 &amp;\t&#9;x", "caf? &amp;\t\tx"},
  };
  for (const auto& [text, marked] : kCases) {
    std::string expected;
    for (char c : marked) expected += c == '?' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
    std::string waypoint = "<wpt lat=\"" + text + "\" lon=\"" + text + "\"><name>" + text +
                           "</name><urlname>" + text + "</urlname><type>x|" + text +
                           "</type></wpt>";
    EXPECT_EQ(BuildCacheRecord(waypoint, 0, 0),
              Record({expected, expected, expected, expected, expected, 0, 0}))
        << text;
  }
}

TEST(CacheRecord, ElementThatOnlyBeginsWithWptGivesTheTwoLineRecord) {
  EXPECT_EQ(BuildCacheRecord("<wptx lat=\"1\"><name>GC1</name></wptx>", 0, 0),
            "      <gch>\r\n      </gch>\r\n");
}

TEST(CacheRecord, UnparsableWaypointRaisesTheParseError) {
  try {
    BuildCacheRecord("<wpt><name>GC1</nam></wpt>", 0, 0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Text \"e\" expected at [3:20]");
  }
}

TEST(CacheRecord, SingleByteSourcesGiveUtf8Values) {
  // "Čáp" in windows-1250 and "Müller" in ISO-8859-1, each with a letter right before a tag.
  EXPECT_NE(BuildCacheRecord("<wpt><urlname>\xC8\xE1p</urlname></wpt>", 0, 0, "windows-1250")
                .find("<name>\xC4\x8C\xC3\xA1p</name>"),
            std::string::npos);
  EXPECT_NE(BuildCacheRecord("<wpt><urlname>M\xFCller</urlname></wpt>", 0, 0, "ISO-8859-1")
                .find("<name>M\xC3\xBCller</name>"),
            std::string::npos);
}

TEST(SourceEncoding, IsTheDeclaredNameWhenTheLibraryKnowsIt) {
  EXPECT_EQ(SourceEncoding("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<gpx>"),
            "ISO-8859-1");
  EXPECT_EQ(SourceEncoding("\xEF\xBB\xBF<?xml version='1.0' encoding='windows-1250'?><gpx>"),
            "windows-1250");
  EXPECT_EQ(SourceEncoding("<?xml version=\"1.0\" encoding=\"UTF-16\"?><gpx>"), "utf-8");
  EXPECT_EQ(SourceEncoding("<?xml version=\"1.0\"?><gpx encoding=\"ISO-8859-2\">"), "utf-8");
  EXPECT_EQ(SourceEncoding("<gpx>"), "utf-8");
  EXPECT_EQ(SourceEncoding(""), "utf-8");
}

}  // namespace
}  // namespace voltrane
