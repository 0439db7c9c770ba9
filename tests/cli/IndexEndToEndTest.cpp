// A whole run whose index document is compared byte for byte (times masked).
#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"

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
    "  <wpt lat=\"48.3281\" lon=\"17.8842\">\r\n"
    "    <name>PK3AGZG</name>\r\n"
    "    <urlname>Parking</urlname>\r\n"
    "    <sym>Parking Area</sym>\r\n"
    "    <type>Waypoint|Parking Area</type>\r\n"
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

const char kExpectedIndex[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<ggz xmlns=\"http://www.opencaching.com/xmlschemas/ggz/1/0\">\r\n"
    "  <time>TIME</time>\r\n"
    "   <file>\r\n"
    "     <name>a_0000.gpx</name>\r\n"
    "     <crc>673B7A37</crc>\r\n"
    "     <time>TIME</time>\r\n"
    "      <gch>\r\n"
    "         <code>GC3AGZG</code>\r\n"
    "         <name>Old Mill &amp; Weir</name>\r\n"
    "         <type>Multi-cache</type>\r\n"
    "         <lat>48.329440</lat>\r\n"
    "         <lon>17.885885</lon>\r\n"
    "         <file_pos>98</file_pos>\r\n"
    "         <file_len>585</file_len>\r\n"
    "         <ratings>\r\n"
    "            <awesomeness>3.0</awesomeness>\r\n"
    "            <difficulty>2.0</difficulty>\r\n"
    "            <size>3.0</size>\r\n"
    "            <terrain>1.5</terrain>\r\n"
    "         </ratings>\r\n"
    "         <found>true</found>\r\n"
    "      </gch>\r\n"
    "      <gch>\r\n"
    "         <code>PK3AGZG</code>\r\n"
    "         <name>Parking</name>\r\n"
    "         <type>Parking Area</type>\r\n"
    "         <lat>48.3281</lat>\r\n"
    "         <lon>17.8842</lon>\r\n"
    "         <file_pos>683</file_pos>\r\n"
    "         <file_len>170</file_len>\r\n"
    "         <ratings>\r\n"
    "            <awesomeness>3.0</awesomeness>\r\n"
    "            <difficulty>0.0</difficulty>\r\n"
    "            <size>1.0</size>\r\n"
    "            <terrain>0.0</terrain>\r\n"
    "         </ratings>\r\n"
    "         <found>false</found>\r\n"
    "      </gch>\r\n"
    "   </file>\r\n"
    "   <file>\r\n"
    "     <name>b_0000.gpx</name>\r\n"
    "     <crc>E242E3C4</crc>\r\n"
    "     <time>TIME</time>\r\n"
    "      <gch>\r\n"
    "         <code>GA1234</code>\r\n"
    "         <name>M\xC3\xBCller\xC2\xB4s Br\xC3\xBC"
    "cke</name>\r\n"
    "         <type>Traditional</type>\r\n"
    "         <lat>-27.47</lat>\r\n"
    "         <lon>153.02</lon>\r\n"
    "         <file_pos>66</file_pos>\r\n"
    "         <file_len>232</file_len>\r\n"
    "         <ratings>\r\n"
    "            <awesomeness>3.0</awesomeness>\r\n"
    "            <difficulty>1.5</difficulty>\r\n"
    "            <size>2.0</size>\r\n"
    "            <terrain>4.5</terrain>\r\n"
    "         </ratings>\r\n"
    "         <found>false</found>\r\n"
    "      </gch>\r\n"
    "   </file>\r\n"
    "</ggz>\r\n";

TEST(IndexEndToEnd, IndexDocumentIsExactAndEveryRecordSelectsItsWaypoint) {
  test::TTempFolder dir;
  test::WriteFile(dir / "a.gpx", kPocketQuery);
  test::WriteFile(dir / "b.gpx", kLatin1);
  test::TProcessOptions options;
  options.WorkingFolder = dir.Path();
  test::TProcessResult run = test::RunProcess({test::VoltraneExe(), "*.gpx", "out.ggz"}, options);
  ASSERT_EQ(run.ExitCode, 0) << run.Output;

  std::string archive = dir / "out.ggz";
  std::string index =
      test::RunProcess({"/usr/bin/unzip", "-p", archive, "index/com/garmin/geocaches/v0/index.xml"})
          .Output;
  index =
      std::regex_replace(index, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"), "TIME");
  EXPECT_EQ(index, kExpectedIndex);

  std::string chunk = test::RunProcess({"/usr/bin/unzip", "-p", archive, "data/a_0000.gpx"}).Output;
  std::string source = kPocketQuery;
  size_t first = source.find("<wpt"), second = source.find("<wpt", first + 1);
  EXPECT_EQ(chunk.substr(98, 585), source.substr(first, source.find("</wpt>") + 6 - first));
  EXPECT_EQ(chunk.substr(683, 170), source.substr(second, source.rfind("</wpt>") + 6 - second));
}

}  // namespace
}  // namespace voltrane
