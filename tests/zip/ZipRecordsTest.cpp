#include <gtest/gtest.h>

#include "rt/DateTime.h"
#include "rt/FileList.h"
#include "rt/Stream.h"
#include "zip/EndRecordSearch.h"
#include "zip/ZipNames.h"
#include "zip/ZipRecords.h"

namespace voltrane {
namespace {

// Names as given and as stored; each relative row: a name, its root, the name relative to it.
TEST(MemberNames, UseSlashesWithoutDriveServerOrRootAndAreRelativeIgnoringAsciiCase) {
  std::string stored;
  for (const char* given : {"data\\x.gpx", "C:\\a\\b.txt", "\\\\srv\\share\\a\\b.txt", "data\\",
                            "data/x.gpx", "/tmp/a/b.txt"})
    stored += ToZipName(given) + " ";
  EXPECT_EQ(stored, "data/x.gpx a/b.txt a/b.txt data/ data/x.gpx tmp/a/b.txt ");
  EXPECT_EQ(ToBackslashName("C:/a/b/"), "a\\b\\");
  const std::string kRelative[][3] = {{"C:\\Temp\\data\\x.gpx", "c:\\temp", "data\\x.gpx"},
                                      {"/w/temp/data/x.gpx", "/w/temp", "data/x.gpx"},
                                      {"/w/temp/", "/w/temp", ""},
                                      {"/elsewhere/x.gpx", "/w/temp", "/elsewhere/x.gpx"}};
  for (const auto& row : kRelative) EXPECT_EQ(RelativeItemName(row[0], row[1]), row[2]) << row[0];
  EXPECT_TRUE(SameTextAscii("DATA/X.GPX", "data/x.gpx"));
  EXPECT_FALSE(SameTextAscii("data/x.gpx", "data/x.gpx2"));
  EXPECT_FALSE(SameTextAscii("\xc3\x89", "\xc3\xa9"));
}

// The archive bytes of the other tests hold a time, 59 seconds stored as 58; here the edges.
TEST(DosDateTime, ZeroesYearsOutOfRange) {
  for (int year : {1979, 2108}) {
    TDosDateTime outside = DateTimeToDos(EncodeDateTime({year, 6, 1, 12, 0, 0}));
    EXPECT_EQ(outside.Date + outside.Time, 0) << year;
  }
  EXPECT_NE(DateTimeToDos(EncodeDateTime({1980, 1, 1})).Date, 0);
  EXPECT_NE(DateTimeToDos(EncodeDateTime({2107, 12, 31, 23, 59, 58})).Date, 0);
  EXPECT_EQ(DosToDateTime(0, 0), 0.0);  // date 0 names no day
}

// Deflate (8) and deflate64 (9) name the level in flag bits 1 and 2; other methods have none.
TEST(Records, CompressionTypeComesFromTheMethodAndTheLevelFlags) {
  using enum TZipCompressionType;
  const TZipCompressionType byFlags[] = {ctNormal, ctMaximum, ctFast, ctSuperFast};
  TCentralDirectoryFile c;
  for (uint16_t method : {8, 9, 0}) {
    c.CompressionMethod = method;
    for (int bits = 0; bits < 4; ++bits) {
      c.GeneralPurposeBitFlag = uint16_t(bits << 1 | 1);
      EXPECT_EQ(CompressionTypeOf(c), method ? byFlags[bits] : ctUnknown) << method << " " << bits;
    }
  }
}

// Each row: the stream's size, where "PK\5\6" (or other text) lies in it, where the search
// finds the end record (-1: nowhere). The windows reach 256, 1,024 and 65,536 positions back
// from size - 22, each starting where the one before it started, less its size.
TEST(EndRecordSearch, FindsRecordsInEachWindowAndGivesUpBeyondThem) {
  const std::string kEnd = "PK\x05\x06";
  const std::tuple<int64_t, std::vector<std::pair<int64_t, std::string>>, int64_t> kCases[] = {
      {21, {{0, kEnd}}, -1},                               // shorter than a record
      {22, {{0, kEnd}}, 0},                                // exactly one
      {2000, {{1700, kEnd}}, 1700},                        // beyond the first window
      {5000, {{5000 - 22 - 255, kEnd}}, 5000 - 22 - 255},  // the first window's last position
      {70000, {{70000 - 22 - 65535, kEnd}}, 70000 - 22 - 65535},  // the longest comment
      {70000, {{70000 - 22 - 1024 - 65535, kEnd}}, 70000 - 22 - 1024 - 65535},
      {70000, {{70000 - 22 - 1024 - 65536, kEnd}}, -1},
      {1000, {{600, kEnd}}, 600},                  // a window larger than the stream
      {3000, {{2500, kEnd}, {2900, kEnd}}, 2900},  // the last record wins
      {100, {{37, kEnd + "P"}}, 37},               // a "P" skip does not step over a record
  };
  for (const auto& [size, texts, found] : kCases) {
    std::string bytes(size_t(size), 'x');
    for (const auto& [at, text] : texts) bytes.replace(size_t(at), text.size(), text);
    TMemoryStream stream(bytes);
    EXPECT_EQ(SearchEndRecord(stream), found) << size << " " << texts[0].first;
  }
}

}  // namespace
}  // namespace voltrane
