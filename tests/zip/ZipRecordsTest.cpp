#include <gtest/gtest.h>

#include <string>

#include "rt/DateTime.h"
#include "rt/FileList.h"
#include "rt/Stream.h"
#include "zip/EndRecordSearch.h"
#include "zip/ZipNames.h"
#include "zip/ZipRecords.h"
#include "zip/ZipTestSupport.h"

namespace voltrane {
namespace {

TEST(MemberNames, UseSlashesWithoutDriveServerOrRoot) {
  EXPECT_EQ(ToZipName("data\\x.gpx"), "data/x.gpx");
  EXPECT_EQ(ToZipName("C:\\a\\b.txt"), "a/b.txt");
  EXPECT_EQ(ToZipName("\\\\srv\\share\\a\\b.txt"), "a/b.txt");
  EXPECT_EQ(ToZipName("data\\"), "data/");
  EXPECT_EQ(ToZipName("data/x.gpx"), "data/x.gpx");
  EXPECT_EQ(ToZipName("/tmp/a/b.txt"), "tmp/a/b.txt");
  EXPECT_EQ(ToBackslashName("C:/a/b/"), "a\\b\\");
}

TEST(MemberNames, AreMadeRelativeToTheRootIgnoringAsciiCase) {
  EXPECT_EQ(RelativeItemName("C:\\Temp\\data\\x.gpx", "c:\\temp"), "data\\x.gpx");
  EXPECT_EQ(RelativeItemName("/w/temp/data/x.gpx", "/w/temp"), "data/x.gpx");
  EXPECT_EQ(RelativeItemName("/w/temp/", "/w/temp"), "");
  EXPECT_EQ(RelativeItemName("/elsewhere/x.gpx", "/w/temp"), "/elsewhere/x.gpx");
  EXPECT_TRUE(SameTextAscii("DATA/X.GPX", "data/x.gpx"));
  EXPECT_FALSE(SameTextAscii("data/x.gpx", "data/x.gpx2"));
  EXPECT_FALSE(SameTextAscii("\xc3\x89", "\xc3\xa9"));
}

TEST(MemberNames, WildCardMatchesTheWholePathWithStarOnly) {
  EXPECT_TRUE(MatchesMask("/t/data/x.gpx", "*.*", false));
  EXPECT_TRUE(MatchesMask("/t.d/data/x", "*.*", false));  // a "." in a folder name counts
  EXPECT_FALSE(MatchesMask("/t/data/x", "*.*", false));
  EXPECT_TRUE(MatchesMask("/T/X.GPX", "*.gpx", false));
  EXPECT_FALSE(MatchesMask("/t/a.gpx", "/t/?.gpx", false));  // "?" stands for itself
  EXPECT_TRUE(MatchesMask("/t/?.gpx", "/t/?.gpx", false));
}

TEST(DosDateTime, TruncatesSecondsToEvenAndZeroesYearsOutOfRange) {
  TDosDateTime dos = DateTimeToDos(EncodeDateTime({2009, 3, 7, 10, 15, 59, 999}));
  EXPECT_EQ(dos.Time, 10 * 2048 + 15 * 32 + 29);
  EXPECT_EQ(dos.Date, 7 + 3 * 32 + 29 * 512);
  TDateTimeParts back = DecodeDateTime(DosToDateTime(dos.Date, dos.Time));
  EXPECT_EQ(back.Year, 2009);
  EXPECT_EQ(back.Second, 58);
  EXPECT_EQ(back.Millisecond, 0);
  for (int year : {1979, 2108}) {
    TDosDateTime outside = DateTimeToDos(EncodeDateTime({year, 6, 1, 12, 0, 0}));
    EXPECT_EQ(outside.Date, 0);
    EXPECT_EQ(outside.Time, 0);
  }
  EXPECT_NE(DateTimeToDos(EncodeDateTime({1980, 1, 1})).Date, 0);
  EXPECT_NE(DateTimeToDos(EncodeDateTime({2107, 12, 31, 23, 59, 58})).Date, 0);
  EXPECT_EQ(DosToDateTime(0, 0), 0.0);  // date 0 names no day
}

TEST(Records, DeriveSizesAndCompressionType) {
  TCentralDirectoryFile c;
  c.CompressedSize = 100;
  c.FileNameLength = 5;
  c.ExtraFieldLength = 4;
  c.FileCommentLength = 3;
  TLocalFile local;
  local.FileNameLength = 5;
  local.ExtraFieldLength = 9;
  EXPECT_EQ(CentralRecordSize(c), 46 + 5 + 4 + 3);
  EXPECT_EQ(LocalRecordSize(local, c), 30 + 100 + 5 + 9);
  local.GeneralPurposeBitFlag = kFlagDataDescriptor;
  EXPECT_EQ(LocalRecordSize(local, c), 30 + 100 + 5 + 9 + 16);

  const TZipCompressionType byFlags[] = {
      TZipCompressionType::ctNormal, TZipCompressionType::ctMaximum, TZipCompressionType::ctFast,
      TZipCompressionType::ctSuperFast};
  for (uint16_t method : {8, 9}) {
    c.CompressionMethod = method;
    for (int bits = 0; bits < 4; ++bits) {
      c.GeneralPurposeBitFlag = uint16_t(bits << 1 | 1);
      EXPECT_EQ(CompressionTypeOf(c), byFlags[bits]);
    }
  }
  c.CompressionMethod = 0;
  c.GeneralPurposeBitFlag = 2;
  EXPECT_EQ(CompressionTypeOf(c), TZipCompressionType::ctUnknown);
}

std::string StreamWithEndRecordAt(int64_t size, int64_t at) {
  std::string bytes(size_t(size), 'x');
  bytes.replace(size_t(at), 4, "PK\x05\x06");
  return bytes;
}

TEST(EndRecordSearch, FindsRecordsInEachWindowAndGivesUpBeyondThem) {
  std::string tooShort = "PK\x05\x06" + std::string(17, '\0');
  TMemoryStream shortStream(tooShort);
  EXPECT_EQ(SearchEndRecord(shortStream), -1);

  TMemoryStream exact("PK\x05\x06" + std::string(18, '\0'));
  EXPECT_EQ(SearchEndRecord(exact), 0);

  // 2,000 bytes, the record 300 bytes before the end: beyond the first window.
  TMemoryStream second(StreamWithEndRecordAt(2000, 1700));
  EXPECT_EQ(SearchEndRecord(second), 1700);

  // The edges of the first window: 256 positions from size - 22 down.
  TMemoryStream firstEdge(StreamWithEndRecordAt(5000, 5000 - 22 - 255));
  EXPECT_EQ(SearchEndRecord(firstEdge), 5000 - 22 - 255);
  TMemoryStream longestComment(StreamWithEndRecordAt(70000, 70000 - 22 - 65535));
  EXPECT_EQ(SearchEndRecord(longestComment), 70000 - 22 - 65535);
  TMemoryStream tooFar(StreamWithEndRecordAt(70000, 70000 - 22 - 1024 - 65536));
  EXPECT_EQ(SearchEndRecord(tooFar), -1);

  // A short stream is searched to its first byte even where a window is larger than it.
  TMemoryStream small(StreamWithEndRecordAt(1000, 600));
  EXPECT_EQ(SearchEndRecord(small), 600);

  // The last record wins; a "P" skip does not step over a record right below it.
  std::string two = StreamWithEndRecordAt(3000, 2900);
  two.replace(2500, 4, "PK\x05\x06");
  TMemoryStream last(two);
  EXPECT_EQ(SearchEndRecord(last), 2900);
  std::string skip(100, 'x');
  skip.replace(37, 5, "PK\x05\x06P");
  TMemoryStream belowP(skip);
  EXPECT_EQ(SearchEndRecord(belowP), 37);
}

}  // namespace
}  // namespace voltrane
