// Damaged archives that the fuzzers found mishandled, each kept as the behaviour it now has.
#include <gtest/gtest.h>

#include "zip/ZipErrors.h"
#include "zip/ZipTestSupport.h"

namespace voltrane::test {
namespace {

using ZipBadInput = ZipFile;

TEST_F(ZipBadInput, AddAfterBytesBetweenDirectoryAndEndRecordLeavesNothingBehindTheEnd) {
  // The directory size counts 100 stray bytes; the add writes the directory as its records
  // are, and the file must end with the end record, not with what was left of the old one.
  Add("a.txt", "hello");
  std::string bytes = ReadFile(archive);
  size_t end = bytes.size() - 22;
  uint32_t directorySize = zip.EndRecord().SizeOfTheCentralDirectory;
  bytes.insert(end, std::string(100, 'x'));
  WriteFile(archive, bytes.replace(end + 112, 4, Le(directorySize + 100, 4)));
  Open();
  ASSERT_TRUE(zip.IsZipFile());
  Add("b.txt", "second");
  EXPECT_EQ(ReadFile(archive).substr(size_t(zip.EndRecordPosition())),
            EncodeEndRecord(zip.EndRecord()));
  Open();
  EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(ZipBadInput, MemberWhoseSizeRunsIntoTheDirectoryIsNotMoved) {
  // Removing it once moved a negative number of bytes down: the process died.
  Add("a.txt", "hello");
  Add("b.txt", "world");
  std::string bytes = ReadFile(archive);
  size_t directory = zip.EndRecord().OffsetOfStartOfCentralDirectory;
  WriteFile(archive, bytes.replace(directory + 20, 4, Le(0x7FFFFFFF, 4)));
  const std::string kRefused = "EZipError: Cannot move member \"a.txt\" of archive \"" + archive +
                               "\": its local record runs into the central directory";
  // In place the removal of a.txt would move b.txt by its size; a rebuild would copy a.txt.
  for (auto row :
       {std::pair(TZipSaveMethod::FastSave, 0), std::pair(TZipSaveMethod::RebuildAll, 1)}) {
    Open();
    ASSERT_TRUE(zip.IsZipFile());
    zip.SetSaveMethod(row.first);
    EXPECT_EQ(KindAndMessageOf([&] { zip.Entries().RemoveItem(row.second); }), kRefused);
    EXPECT_EQ(ReadFile(archive), bytes);
    EXPECT_EQ(zip.Entries().Count(), 2);
  }
}

}  // namespace
}  // namespace voltrane::test
