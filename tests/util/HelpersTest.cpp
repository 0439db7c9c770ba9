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

namespace voltrane {
namespace {

uint32_t Crc(const std::string& text) {
  uint32_t crc = CrcInit();
  CrcUpdate(crc, text);
  CrcFinal(crc);
  return crc;
}

TEST(Crc32, IsTheStandardChecksum) {
  EXPECT_EQ(Crc("abc"), 0x352441C2u);
  EXPECT_EQ(Crc(""), 0u);
  EXPECT_EQ(Crc32Byte(1, 0), 0x77073096u);
  EXPECT_EQ(Crc32Byte(255, 0), 0x2D02EF8Du);
  EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32Of("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32Of(""), 0u);
}

// Blocks of 64 bytes and more take the folding path, in steps of 64 and then of 16, with the
// rest bytewise: every length and start up to a few folds, split anywhere and carried on
// through the register or the whole-value helper, and a large block.
TEST(Crc32, BlockUpdateAgreesWithBytewiseForEveryLengthStartAndSplit) {
  std::mt19937 random(7);
  std::string data(400, '\0');
  for (char& c : data) c = char(random());
  for (size_t start = 0; start < 3; ++start) {
    for (size_t length = 0; start + length <= data.size(); ++length) {
      const char* at = data.data() + start;
      uint32_t bytewise = CrcInit();
      for (size_t i = 0; i < length; ++i) bytewise = Crc32Byte(uint8_t(at[i]), bytewise);
      for (size_t split : {size_t(0), length / 3, length}) {
        uint32_t crc = CrcInit();
        CrcUpdate(crc, at, split);
        CrcUpdate(crc, at + split, length - split);
        ASSERT_EQ(crc, bytewise) << start << " " << length << " " << split;
        std::string_view head(at, split), tail(at + split, length - split);
        ASSERT_EQ(Crc32Of(tail, Crc32Of(head)), ~bytewise)
            << start << " " << length << " " << split;
      }
    }
  }
  std::string large(5000000, '\0');
  for (char& c : large) c = char(random());
  uint32_t bytewise = CrcInit();
  for (char c : large) bytewise = Crc32Byte(uint8_t(c), bytewise);
  uint32_t crc = CrcInit();
  CrcUpdate(crc, large);
  EXPECT_EQ(crc, bytewise);
}

TEST(Crc32, WriteStrCrcCoversExactlyTheBytesWritten) {
  TMemoryStream stream;
  uint32_t crc = CrcInit();
  WriteStrCrc(stream, "ab", crc);
  WriteStrCrc(stream, "", crc);
  WriteStrCrc(stream, "c", crc);
  CrcFinal(crc);
  EXPECT_EQ(stream.DataString(), "abc");
  EXPECT_EQ(crc, 0x352441C2u);
}

TEST(NumberText, ReadsDotDecimalsAndRejectsAnythingElse) {
  EXPECT_EQ(StrToFloatDot("2.5"), 2.5);
  EXPECT_EQ(StrToFloatDot(" 3 "), 3);
  EXPECT_EQ(StrToFloatDot("1e2"), 100);
  EXPECT_EQ(StrToFloatDot("-1.5E-1"), -0.15);
  EXPECT_EQ(StrToFloatDot("+.5"), 0.5);
  EXPECT_EQ(StrToFloatDot("4."), 4);
  for (const char* bad :
       {"", "abc", "n/a", "1.5.2", ".", "1e", "2,5", "\t2", "1 2", "1e999", "0x10"})
    EXPECT_EQ(StrToFloatDot(bad), 0) << bad;
}

TEST(NumberText, WritesOneDecimalRoundingHalfAwayFromZero) {
  EXPECT_EQ(FloatToStrDot(1.5), "1.5");
  EXPECT_EQ(FloatToStrDot(2), "2.0");
  EXPECT_EQ(FloatToStrDot(-1), "-1.0");
  EXPECT_EQ(FloatToStrDot(0), "0.0");
  EXPECT_EQ(FloatToStrDot(2.25), "2.3");
  EXPECT_EQ(FloatToStrDot(-1.25), "-1.3");
  EXPECT_EQ(FloatToStrDot(0.15), "0.2");
  EXPECT_EQ(FloatToStrDot(9.96), "10.0");
  EXPECT_EQ(FloatToStrDot(0.05), "0.1");
  EXPECT_EQ(FloatToStrDot(0.04), "0.0");
  EXPECT_EQ(FloatToStrDot(-0.04), "0.0");
  EXPECT_EQ(FloatToStrDot(123456.78), "123456.8");
}

TEST(StringHelpers, CutAndReplaceAsDocumented) {
  EXPECT_EQ(TextAfter("Geocache|Traditional Cache", "|"), "Traditional Cache");
  EXPECT_EQ(TextAfter("a|b|c", "|"), "b|c");
  EXPECT_EQ(TextAfter("abc", "|"), "abc");
  EXPECT_EQ(TextAfter("abc|", "|"), "");
  EXPECT_EQ(TextAfter("a|b", ""), "a|b");
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceAll("1.5.2", ".", ","), "1,5,2");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(AsciiLowerCase("MiCRO \xC3\x89"), "micro \xC3\x89");
}

TEST(UtcOffset, FollowsTheTimeZone) {
  const char* old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC+5", 1);  // POSIX: five hours west
  tzset();
  EXPECT_EQ(LocalUtcOffsetMinutes(), -300);
  setenv("TZ", "UTC-1", 1);
  tzset();
  EXPECT_EQ(LocalUtcOffsetMinutes(), 60);
  old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(DeleteTree, RemovesEverythingButNeverFollowsALink) {
  test::TTempFolder dir;
  std::string tree = dir / "tree";
  std::string outside = dir / "outside";
  mkdir(tree.c_str(), 0755);
  mkdir((tree + "/sub").c_str(), 0755);
  mkdir(outside.c_str(), 0755);
  test::WriteFile(tree + "/sub/.hidden", "x");
  test::WriteFile(tree + "/a.gpx", "x");
  chmod((tree + "/a.gpx").c_str(), 0444);
  test::WriteFile(outside + "/keep.gpx", "precious");
  ASSERT_EQ(symlink(outside.c_str(), (tree + "/link").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/keep.gpx").c_str(), (tree + "/sub/filelink").c_str()), 0);
  DeleteTree(tree);
  EXPECT_FALSE(test::PathExists(tree));
  EXPECT_EQ(test::ReadFile(outside + "/keep.gpx"), "precious");
  DeleteTree(dir / "missing");  // nothing there: nothing happens, nothing raised
}

// "?" stands for U+FFFD in the expected texts.
TEST(XmlSafeText, ReplacesForbiddenCharactersAndEachByteThatIsNotUtf8) {
  const std::pair<std::string, std::string> kCases[] = {
      {"plain & <text>", "plain & <text>"},
      {"tab\tlf\ncr\r", "tab\tlf\ncr\r"},
      {std::string("a\0b\x01\x1F\x7F", 6), "a?b??\x7F"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"\xEF\xBF\xBE|\xEF\xBF\xBF|\xEF\xBF\xBD", "?|?|?"},
      {"caf\xE9.gpx", "caf?.gpx"},
      {"\xED\xA0\x80", "???"},            // a surrogate
      {"\xC0\xAF\xE0\x80\xAF", "?????"},  // overlong forms
      {"\xF4\x90\x80\x80", "????"},       // beyond U+10FFFF
      {"\xE2\x82", "??"},                 // cut short at the end
      {"\xE2\x82"
       "A\x80\xFF",
       "??A??"},
  };
  for (const auto& [text, expected] : kCases) {
    std::string marked = expected;
    std::string wanted;
    for (char c : marked) wanted += c == '?' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
    EXPECT_EQ(XmlSafeText(text), wanted) << text;
  }
}

}  // namespace
}  // namespace voltrane
