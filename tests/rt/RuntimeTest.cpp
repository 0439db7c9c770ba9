#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "TestSupport.h"
#include "rt/DateTime.h"
#include "rt/Exception.h"
#include "rt/FileList.h"
#include "rt/Path.h"
#include "rt/Stream.h"

namespace voltrane::test {
namespace {

TEST(Paths, AreMadeAbsoluteLexicallyWithWildcardsKept) {
  EXPECT_EQ(ExpandFileName("/a/./b/../c/*.gpx"), "/a/c/*.gpx");
  EXPECT_EQ(ExpandFileName("/../x"), "/x");
  EXPECT_EQ(ExpandFileName("/a/b/"), "/a/b/");
  EXPECT_EQ(ExpandFileName("x/?.gpx"), ExpandFileName(".") + "x/?.gpx");
  EXPECT_EQ(ExpandFileName(".").front(), '/');
  EXPECT_EQ(ExtractFilePath("/a/b.gpx") + "|" + ExtractFileName("/a/b.gpx"), "/a/|b.gpx");
  EXPECT_EQ(ExtractFilePath("b.gpx"), "");
}

TEST(Errors, NameTheUserFileInsteadOfInternalOnes) {
  const std::pair<std::string, std::string> cases[] = {
      {"Cannot write \"/o/x.tmp-AB12/tree/a.gpx\". Full", "Cannot write \"/o/x\". Full"},
      {"\"/o/x.tmp-1\" and \"/o/x.tmp-2/b\"", "\"/o/x\" and \"/o/x\""},
      {"Cannot open \"/o/x.tmp\". Gone", ""},  // "": the message unchanged
      {"Unquoted /o/x.tmp-1 stays", ""},
      {"Unclosed \"/o/x.tmp-1", ""}};
  for (const auto& [message, expected] : cases) {
    Exception error(message);
    error.ReplaceQuotedPaths("/o/x.tmp-", "/o/x");
    EXPECT_EQ(error.Message(), expected.empty() ? message : expected);
  }
}

// Each row: a name or path, a mask, whether "?" is a wildcard (else it stands for itself, as
// in an archive's folder walk) and whether the whole name matches.
TEST(Masks, MatchStarAndQuestionMarkIgnoringAsciiCase) {
  const struct {
    const char *name, *mask;
    bool question, matches;
  } kCases[] = {
      {"caches.GPX", "*.gpx", true, true},      {"a.gpx", "?.gpx", true, true},
      {"ab.gpx", "?.gpx", true, false},         {"abcabd", "*abd", true, true},
      {"caches.gpx.bak", "*.gpx", true, false}, {"\xc3\xa9.gpx", "\xc3\x89.gpx", true, false},
      {"/t.d/data/x", "*.*", false, true},      {"/t/data/x", "*.*", false, false},
      {"/t/a.gpx", "/t/?.gpx", false, false},   {"/t/?.gpx", "/t/?.gpx", false, true},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(MatchesMask(c.name, c.mask, c.question), c.matches) << c.name << " " << c.mask;
}

TEST(Listing, IsSortedByNameAndIncludesHiddenEntries) {
  TTempFolder dir;
  for (const char* n : {"b.gpx", "A.gpx", ".hidden.gpx", "c.txt"}) WriteFile(dir / n, "");
  mkdir((dir / "folder.gpx").c_str(), 0755);
  std::string listed;
  for (const TFileEntry& entry : ListFolder(dir.Path(), "*.gpx"))
    listed += entry.Name + ":" + std::to_string(entry.Attributes) + (entry.IsFolder ? "/ " : " ");
  EXPECT_EQ(listed, ".hidden.gpx:34 A.gpx:32 b.gpx:32 folder.gpx:16/ ");
  int error = 0;
  EXPECT_TRUE(ListFolder(dir / "missing", "*", &error).empty());
  EXPECT_EQ(error, ENOENT);
}

// Days since 1899-12-30: every double read from a file decodes to a date.
std::string Text(const TDateTimeParts& p) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day,
                p.Hour, p.Minute, p.Second, p.Millisecond);
  return text;
}

TEST(DateTime, EveryDoubleDecodesWithinTheYearsOneTo9999) {
  auto decoded = [](TDateTime value) { return Text(DecodeDateTime(value)); };
  for (TDateTime v : {0.0, double(NAN)}) EXPECT_EQ(decoded(v), "1899-12-30 00:00:00.000") << v;
  for (TDateTime v : {HUGE_VAL, 1e300}) EXPECT_EQ(decoded(v), "9999-12-31 23:59:59.999") << v;
  for (TDateTime v : {-HUGE_VAL, -1e300, -693593.0})
    EXPECT_EQ(decoded(v), "0001-01-01 00:00:00.000") << v;
  EXPECT_EQ(decoded(2), "1900-01-01 00:00:00.000");
  EXPECT_EQ(decoded(2958465.5), "9999-12-31 12:00:00.000");
  EXPECT_EQ(decoded(UnixToDateTime(0, 999999999)), "1970-01-01 00:00:00.999");
}

TEST(DateTime, EncodedPartsDecodeBackToTheMillisecond) {
  const TDateTimeParts cases[] = {{2009, 3, 7, 8, 5, 9, 45},
                                  {1, 1, 1},
                                  {1899, 12, 29, 23, 59, 59, 999},
                                  {9999, 12, 31, 23, 59, 59, 999}};
  for (const TDateTimeParts& parts : cases)
    EXPECT_EQ(Text(DecodeDateTime(EncodeDateTime(parts))), Text(parts));
}

TEST(FileStream, ReportsThePathAndReasonOfEveryFailure) {
  TTempFolder dir;
  const std::string absent = "\". No such file or directory";
  const std::tuple<std::string, TFileMode, std::string> cases[] = {
      {dir / "a/x", TFileMode::Create,
       "EFCreateError: Cannot create file \"" + dir / "a/x" + absent},
      {dir / "none", TFileMode::OpenRead,
       "EFOpenError: Cannot open file \"" + dir / "none" + absent},
      {"/dev/full", TFileMode::OpenReadWrite,
       "EFWriteError: Cannot write file \"/dev/full\". No space left on device"}};
  for (const auto& c : cases) {
    auto write = [&] { TFileStream(std::get<0>(c), std::get<1>(c)).WriteString("abc"); };
    EXPECT_EQ(KindAndMessageOf(write), std::get<2>(c));
  }
}

TEST(FileStream, WritesALargeBufferWholeAndReadsItBack) {
  // More than a few of the pieces that reach the kernel, and a remainder.
  TTempFolder dir;
  std::string bytes(4500001, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 131 + i / 7);
  EXPECT_EQ(TFileStream(dir / "big", TFileMode::Create).Write(bytes.data(), int64_t(bytes.size())),
            int64_t(bytes.size()));
  TFileStream in(dir / "big", TFileMode::OpenRead);
  EXPECT_EQ(in.Size(), int64_t(bytes.size()));
  std::string back(bytes.size() + 1, '\0');
  EXPECT_EQ(in.Read(back.data(), int64_t(back.size())), int64_t(bytes.size()));
  EXPECT_TRUE(back.substr(0, bytes.size()) == bytes);
}

TEST(MemoryStream, ReadsBackAndRaisesPastItsEnd) {
  TMemoryStream stream("hello");
  stream.SetPosition(3);
  EXPECT_EQ(stream.ReadRest(), "lo");
  char c;
  EXPECT_THROW(stream.ReadBuffer(&c, 1), EReadError);
}

}  // namespace
}  // namespace voltrane::test
