// Damaged archives that the fuzzers found mishandled, each kept as the behaviour it now has.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "rt/DateTime.h"
#include "rt/Stream.h"
#include "zip/ZelZip.h"
#include "zip/ZipErrors.h"
#include "zip/ZipTestSupport.h"

namespace voltrane {
namespace {

const TDateTime kDate = EncodeDateTime({2011, 5, 4, 12, 30, 0});

void PutU32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char(value >> (8 * i));
}

// An archive of the members name -> content, written by the component itself.
std::string Archive(const std::vector<std::pair<std::string, std::string>>& members) {
  auto stream = std::make_unique<TMemoryStream>();
  TMemoryStream* bytes = stream.get();
  TZelZip zip;
  zip.CreateEmptyArchive(*stream);
  zip.OpenArchiveStream(std::move(stream));
  for (const auto& [name, content] : members) {
    TMemoryStream source(content);
    zip.Entries().AddStreamItem(name, 0x20, kDate, source);
  }
  std::string result = bytes->DataString();
  zip.CloseArchive();
  return result;
}

// The component open on a copy of bytes; the stream stays reachable through stream.
struct TOpened {
  explicit TOpened(const std::string& bytes) {
    auto owned = std::make_unique<TMemoryStream>(bytes);
    stream = owned.get();
    zip.OpenArchiveStream(std::move(owned));
  }
  TZelZip zip;
  TMemoryStream* stream;
};

TEST(ZipBadInput, DirectoryReachingPastItsEndRecordIsNoArchive) {
  // Sizing the file from such a directory size once asked for gigabytes on the next add.
  std::string bytes = Archive({{"a.txt", "hello"}});
  size_t end = bytes.size() - 22;
  PutU32(bytes, end + 12, 0xD52C0000);
  TOpened opened(bytes);
  EXPECT_FALSE(opened.zip.IsZipFile());
  EXPECT_EQ(opened.zip.Entries().Count(), 0);
}

TEST(ZipBadInput, AddAfterBytesBetweenDirectoryAndEndRecordLeavesNothingBehindTheEnd) {
  // The directory size counts 100 stray bytes; the add writes the directory as its records
  // are, and the file must end with the end record, not with what was left of the old one.
  std::string bytes = Archive({{"a.txt", "hello"}});
  size_t end = bytes.size() - 22;
  uint32_t directorySize = test::U32At(bytes, end + 12);
  bytes.insert(end, std::string(100, 'x'));
  PutU32(bytes, end + 100 + 12, directorySize + 100);
  TOpened opened(bytes);
  ASSERT_TRUE(opened.zip.IsZipFile());
  TMemoryStream content(std::string("second"));
  opened.zip.Entries().AddStreamItem("b.txt", 0x20, kDate, content);
  std::string after = opened.stream->DataString();
  EXPECT_EQ(int64_t(after.size()), opened.zip.EndRecordPosition() + 22);
  EXPECT_EQ(after.compare(after.size() - 22, 4, "PK\x05\x06"), 0);

  TOpened again(after);
  ASSERT_TRUE(again.zip.IsZipFile());
  EXPECT_EQ(again.zip.FileNames(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(ZipBadInput, MemberWhoseSizeRunsIntoTheDirectoryIsNotMoved) {
  // Removing it once moved a negative number of bytes down: the process died.
  std::string bytes = Archive({{"a.txt", "hello"}, {"b.txt", "world"}});
  size_t directory = bytes.find("PK\x01\x02");
  ASSERT_NE(directory, std::string::npos);
  PutU32(bytes, directory + 20, 0x7FFFFFFF);  // compressed size of a.txt
  TOpened opened(bytes);
  ASSERT_TRUE(opened.zip.IsZipFile());
  test::ExpectError<EZipError>(
      [&] { opened.zip.Entries().RemoveItem(0); }, "EZipError",
      "Cannot move member \"a.txt\" of archive \"(stream)\": its local record runs into the "
      "central directory");
  EXPECT_EQ(opened.stream->DataString(), bytes);
  EXPECT_EQ(opened.zip.Entries().Count(), 2);
  opened.zip.SetSaveMethod(TZipSaveMethod::RebuildAll);
  test::ExpectError<EZipError>(
      [&] { opened.zip.Entries().RemoveItem(1); }, "EZipError",
      "Cannot move member \"a.txt\" of archive \"(stream)\": its local record runs into the "
      "central directory");
  EXPECT_EQ(opened.stream->DataString(), bytes);
}

}  // namespace
}  // namespace voltrane
