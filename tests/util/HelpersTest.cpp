#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "TestSupport.h"
#include "rt/AsciiText.h"
#include "util/Crc32.h"
#include "util/DeleteTree.h"
#include "util/NumberText.h"
#include "util/StringUtil.h"
#include "util/UtcOffset.h"
#include "util/XmlSafeText.h"

namespace voltrane::test {
namespace {

uint32_t Crc(const char* at, size_t length, bool bytewise = false) {
  uint32_t crc = CrcInit();
  if (!bytewise) CrcUpdate(crc, at, length);
  for (size_t i = 0; bytewise && i < length; ++i) crc = Crc32Byte(uint8_t(at[i]), crc);
  return crc;
}

// zlib's block routine agrees with the one-byte reference for every length and start up to
// a few hundred bytes, split anywhere and carried on through the register or the
// whole-value helper, and for a large block.
TEST(Crc32, BlockUpdateAgreesWithBytewiseForEveryLengthStartAndSplit) {
  std::mt19937 random(7);
  std::string data(5000000, '\0');
  for (char& c : data) c = char(random());
  for (size_t length = 0; length <= 400; ++length)
    for (const char* at : {data.data(), data.data() + 1, data.data() + 2})
      for (size_t split : {size_t(0), length / 3, length}) {
        uint32_t crc = Crc(at, split);
        CrcUpdate(crc, at + split, length - split);
        ASSERT_EQ(crc, Crc(at, length, true)) << at - data.data() << " " << length << " " << split;
        ASSERT_EQ(Crc32Of(std::string_view(at + split, length - split),
                          Crc32Of(std::string_view(at, split))),
                  ~Crc(at, length, true));
      }
  EXPECT_EQ(Crc(data.data(), data.size()), Crc(data.data(), data.size(), true));
}

TEST(Crc32, WriteStrCrcGivesTheStandardChecksumOfExactlyTheBytesWritten) {
  TMemoryStream stream;
  uint32_t crc = CrcInit();
  for (const char* piece : {"1234", "", "56789"}) WriteStrCrc(stream, piece, crc);
  CrcFinal(crc);
  EXPECT_EQ(stream.DataString(), "123456789");
  EXPECT_EQ(crc, 0xCBF43926u);  // the check value of CRC-32
}

TEST(NumberText, ReadsDotDecimalsAndRejectsAnythingElse) {
  const std::pair<const char*, double> cases[] = {
      {"2.5", 2.5}, {" 3 ", 3}, {"1e2", 100}, {"-1.5E-1", -0.15}, {"+.5", 0.5},
      {"4.", 4},    {"", 0},    {"1.5.2", 0}, {".", 0},           {"1e", 0},
      {"\t2", 0},   {"1 2", 0}, {"1e999", 0}, {"0x10", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(StrToFloatDot(text), value) << text;
}

TEST(NumberText, WritesOneDecimalRoundingHalfAwayFromZero) {
  const std::pair<double, const char*> cases[] = {
      {-1, "-1.0"},  {0, "0.0"},    {0.15, "0.2"},  {9.96, "10.0"},
      {0.05, "0.1"}, {0.04, "0.0"}, {-0.04, "0.0"}, {123456.78, "123456.8"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FloatToStrDot(value), text) << value;
}

TEST(StringHelpers, CutAndReplaceAsDocumented) {
  EXPECT_EQ(TextAfter("Geocache|Traditional Cache|x", "|"), "Traditional Cache|x");
  EXPECT_EQ(TextAfter("abc", "|"), "abc");
  EXPECT_EQ(TextAfter("abc|", "|"), "");
  EXPECT_EQ(TextAfter("a|b", ""), "a|b");
  EXPECT_EQ(ReplaceAll("aaaa.a.", "aa", "a"), "aa.a.");  // left to right, no rescan
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(AsciiLowerCase("MiCRO \xC3\x89"), "micro \xC3\x89");
}

TEST(UtcOffset, FollowsTheTimeZone) {
  for (const auto& [zone, minutes] : {std::pair<const char*, int>{"UTC+5", -300}, {"UTC-1", 60}}) {
    auto timeZone = ScopedEnvironment("TZ", zone);
    EXPECT_EQ(LocalUtcOffsetMinutes(), minutes) << zone;
  }
}

TEST(DeleteTree, RemovesEverythingButNeverFollowsALink) {
  TTempFolder dir;
  const std::string tree = dir / "tree", outside = dir / "outside";
  for (const std::string& folder : {tree, tree + "/sub", outside}) mkdir(folder.c_str(), 0755);
  for (const std::string& file : {tree + "/sub/.hidden", tree + "/a.gpx"}) WriteFile(file, "");
  chmod((tree + "/a.gpx").c_str(), 0444);
  WriteFile(outside + "/keep.gpx", "precious");
  ASSERT_EQ(symlink(outside.c_str(), (tree + "/link").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/keep.gpx").c_str(), (tree + "/sub/filelink").c_str()), 0);
  DeleteTree(tree);
  EXPECT_FALSE(PathExists(tree));
  EXPECT_EQ(ReadFile(outside + "/keep.gpx"), "precious");
  DeleteTree(dir / "missing");  // nothing there: nothing happens, nothing raised
}

// "?" stands for U+FFFD: for a surrogate, overlong forms, beyond U+10FFFF, a cut sequence.
TEST(XmlSafeText, ReplacesForbiddenCharactersAndEachByteThatIsNotUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain & <text>\t\n\r\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       "plain & <text>\t\n\r\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {std::string("a\0b\x01\x1F\x7F", 6), "a?b??\x7F"},
      {"\xEF\xBF\xBE|\xEF\xBF\xBF|\xEF\xBF\xBD|caf\xE9.gpx", "?|?|?|caf?.gpx"},
      {"\xED\xA0\x80|\xC0\xAF\xE0\x80\xAF|\xF4\x90\x80\x80", "???|?????|????"},
      {"\xE2\x82", "??"},
      {"\xE2\x82\x41\x80\xFF", "??A??"}};
  for (const auto& [text, marked] : cases)
    EXPECT_EQ(XmlSafeText(text), ReplaceAll(marked, "?", "\xEF\xBF\xBD")) << text;
}

}  // namespace
}  // namespace voltrane::test
