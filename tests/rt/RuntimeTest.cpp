#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "rt/DateTime.h"
#include "rt/Exception.h"
#include "rt/FileList.h"
#include "rt/Path.h"
#include "rt/Stream.h"

namespace voltrane {
namespace {

using test::TTempFolder;

TEST(Paths, AreMadeAbsoluteLexicallyWithWildcardsKept) {
  EXPECT_EQ(ExpandFileName("/a/./b/../c/*.gpx"), "/a/c/*.gpx");
  EXPECT_EQ(ExpandFileName("/../x"), "/x");
  EXPECT_EQ(ExpandFileName("/a/b/"), "/a/b/");
  std::string relative = ExpandFileName("x/?.gpx");
  EXPECT_EQ(relative.front(), '/');
  EXPECT_TRUE(relative.ends_with("/x/?.gpx"));
  EXPECT_EQ(ExtractFilePath("/a/b.gpx"), "/a/");
  EXPECT_EQ(ExtractFileName("/a/b.gpx"), "b.gpx");
  EXPECT_EQ(ExtractFilePath("b.gpx"), "");
}

TEST(Errors, NameTheUserFileInsteadOfInternalOnes) {
  const struct {
    std::string message, expected;
  } cases[] = {
      {"Cannot write file \"/o/x.ggz.tmp-AB12/tree/a.gpx\". Full",
       "Cannot write file \"/o/x.ggz\". Full"},
      {"\"/o/x.ggz.tmp-1\" and \"/o/x.ggz.tmp-2/b\"", "\"/o/x.ggz\" and \"/o/x.ggz\""},
      {"Cannot open file \"/o/x.ggz.tmp\". Gone", "Cannot open file \"/o/x.ggz.tmp\". Gone"},
      {"Unquoted /o/x.ggz.tmp-1 stays", "Unquoted /o/x.ggz.tmp-1 stays"},
      {"Unclosed \"/o/x.ggz.tmp-1", "Unclosed \"/o/x.ggz.tmp-1"},
  };
  for (const auto& c : cases) {
    Exception error(c.message);
    error.ReplaceQuotedPaths("/o/x.ggz.tmp-", "/o/x.ggz");
    EXPECT_EQ(error.Message(), c.expected);
  }
}

TEST(Masks, MatchStarAndQuestionMarkIgnoringAsciiCase) {
  EXPECT_TRUE(MatchesMask("caches.GPX", "*.gpx"));
  EXPECT_TRUE(MatchesMask("a.gpx", "?.gpx"));
  EXPECT_FALSE(MatchesMask("ab.gpx", "?.gpx"));
  EXPECT_TRUE(MatchesMask("x", "*"));
  EXPECT_TRUE(MatchesMask("abcabd", "*abd"));
  EXPECT_FALSE(MatchesMask("caches.gpx.bak", "*.gpx"));
  EXPECT_FALSE(MatchesMask("\xc3\xa9.gpx", "\xc3\x89.gpx"));  // only ASCII letters fold
}

TEST(Listing, IsSortedByNameAndIncludesHiddenEntries) {
  TTempFolder dir;
  for (const char* name : {"b.gpx", "A.gpx", ".hidden.gpx", "c.txt"})
    test::WriteFile(dir / name, "x");
  mkdir((dir / "folder.gpx").c_str(), 0755);
  std::vector<TFileEntry> entries = ListFolder(dir.Path(), "*.gpx");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].Name, ".hidden.gpx");
  EXPECT_EQ(entries[0].Attributes, 0x22);
  EXPECT_EQ(entries[1].Name, "A.gpx");
  EXPECT_EQ(entries[2].Name, "b.gpx");
  EXPECT_EQ(entries[3].Name, "folder.gpx");
  EXPECT_TRUE(entries[3].IsFolder);
  EXPECT_EQ(entries[3].Attributes, 0x10);
  int error = 0;
  EXPECT_TRUE(ListFolder(dir / "missing", "*", &error).empty());
  EXPECT_NE(error, 0);
}

TEST(DateTime, EncodesDaysSince18991230AndDecodesToTheMillisecond) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1}), 2.0);
  TDateTimeParts parts{2009, 3, 7, 8, 5, 9, 45};
  TDateTimeParts back = DecodeDateTime(EncodeDateTime(parts));
  EXPECT_EQ(back.Year, 2009);
  EXPECT_EQ(back.Month, 3);
  EXPECT_EQ(back.Day, 7);
  EXPECT_EQ(back.Hour, 8);
  EXPECT_EQ(back.Minute, 5);
  EXPECT_EQ(back.Second, 9);
  EXPECT_EQ(back.Millisecond, 45);
  TDateTimeParts epoch = DecodeDateTime(UnixToDateTime(0, 999999999));
  EXPECT_EQ(epoch.Year, 1970);
  EXPECT_EQ(epoch.Millisecond, 999);
}

TEST(FileStream, ReportsThePathAndReasonOfEveryFailure) {
  TTempFolder dir;
  try {
    TFileStream stream(dir / "missing/x", TFileMode::Create);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.KindName(), "EFCreateError");
    EXPECT_EQ(e.Message(),
              "Cannot create file \"" + dir / "missing/x" + "\". No such file or directory");
  }
  try {
    TFileStream stream(dir / "none", TFileMode::OpenRead);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.KindName(), "EFOpenError");
  }
  try {
    TFileStream full("/dev/full", TFileMode::OpenReadWrite);
    full.WriteString("abc");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.KindName(), "EFWriteError");
    EXPECT_EQ(e.Message(), "Cannot write file \"/dev/full\". No space left on device");
  }
}

TEST(FileStream, WritesALargeBufferWholeAndReadsItBack) {
  // More than a few of the pieces that reach the kernel, and a remainder.
  TTempFolder dir;
  std::string bytes(4500001, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 131 + i / 7);
  {
    TFileStream out(dir / "big", TFileMode::Create);
    EXPECT_EQ(out.Write(bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
    EXPECT_EQ(out.Size(), int64_t(bytes.size()));
  }
  TFileStream in(dir / "big", TFileMode::OpenRead);
  std::string back(bytes.size() + 1, '\0');
  EXPECT_EQ(in.Read(back.data(), int64_t(back.size())), int64_t(bytes.size()));
  back.resize(bytes.size());
  EXPECT_TRUE(back == bytes);
}

TEST(MemoryStream, GrowsOnWriteAndReadsBack) {
  TMemoryStream stream;
  stream.WriteString("hello");
  stream.SetPosition(1);
  stream.WriteString("EY");
  EXPECT_EQ(stream.DataString(), "hEYlo");
  stream.SetPosition(3);
  EXPECT_EQ(stream.ReadRest(), "lo");
  char c;
  EXPECT_THROW(stream.ReadBuffer(&c, 1), EReadError);
}

}  // namespace
}  // namespace voltrane
