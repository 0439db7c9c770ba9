#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "rt/DateTime.h"
#include "rt/Exception.h"
#include "rt/Stream.h"
#include "zip/ZelZip.h"
#include "zip/ZipErrors.h"
#include "zip/ZipFolder.h"
#include "zip/ZipTestSupport.h"
#include "zip/ZlibStream.h"

namespace voltrane {
namespace {

using test::ReadFile;
using test::U16At;
using test::U32At;
using test::WriteFile;

const TDateTime kDate = EncodeDateTime({2009, 3, 7, 10, 15, 59});  // stored as 10:15:58

// The archive of a.txt holding abc at ctMaximum, dated kDate, attributes 0x20.
std::string AbcArchive() {
  return test::Hex("504B0304 1400 0000 0800 FD51 673A C2412435 05000000 03000000 0500 0000") +
         "a.txt" + test::Hex("4B4C4A0600") +
         test::Hex(
             "504B0102 1400 1400 0000 0800 FD51 673A C2412435 05000000 03000000"
             "0500 0000 0000 0000 0000 20000000 00000000") +
         "a.txt" + test::Hex("504B0506 0000 0000 0100 0100 33000000 28000000 0000");
}

// Member names as the central directory of the file lists them.
std::vector<std::string> MemberNames(const std::string& archive) {
  TZelZip zip;
  zip.OpenArchive(archive);
  std::vector<std::string> names;
  for (int i = 0; i < zip.Entries().Count(); ++i) {
    names.push_back(zip.Entries()[i].CentralDirectoryFile.FileName);
  }
  return names;
}

class ZipArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    TFileStream file(archive, TFileMode::Create);
    zip.CreateEmptyArchive(file);
  }
  void Open() { zip.OpenArchive(archive); }
  TZelZipEntriesEntry* Add(const std::string& name, const std::string& content,
                           uint16_t attr = 0x20) {
    TMemoryStream stream(content);
    return zip.Entries().AddStreamItem(name, attr, kDate, stream);
  }

  test::TTempFolder dir;
  std::string archive = dir / "a.zip";
  TZelZip zip;
};

TEST_F(ZipArchive, EmptyArchiveIs22BytesAndOpensWithoutMembers) {
  EXPECT_EQ(ReadFile(archive), "PK\x05\x06" + std::string(18, '\0'));
  Open();
  EXPECT_TRUE(zip.IsZipFile());
  EXPECT_TRUE(zip.Active());
  EXPECT_EQ(zip.FileName(), archive);
  EXPECT_EQ(zip.Entries().Count(), 0);
  EXPECT_EQ(zip.EndRecordPosition(), 0);
  EXPECT_EQ(zip.CommentPosition(), 22);
  EXPECT_EQ(zip.EndRecord().OffsetOfStartOfCentralDirectory, 0u);
}

TEST_F(ZipArchive, OneSmallFileGivesThe113ByteArchive) {
  Open();
  TZelZipEntriesEntry* item = Add("a.txt", "abc");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(ReadFile(archive), AbcArchive());
  EXPECT_EQ(item->CompressionType, TZipCompressionType::ctNormal);
  EXPECT_DOUBLE_EQ(item->DateTime, kDate);
  EXPECT_FALSE(item->IsFolder);
  EXPECT_EQ(zip.EndRecordPosition(), 91);
  zip.CloseArchive();
  EXPECT_TRUE(test::UnzipTest(archive).Ok) << test::UnzipTest(archive).Output;
  EXPECT_EQ(test::UnzipMember(archive, "a.txt"), "abc");
}

// Only a name beyond ASCII carries the UTF-8 flag (bit 11), in both of its records, and
// Windows as its host, so that unzip reads it as UTF-8 too.
TEST_F(ZipArchive, NamesBeyondAsciiAreFlaggedUtf8InBothRecords) {
  const std::pair<std::string, std::string> kCases[] = {
      {"a.txt", AbcArchive()},
      {"\xC3\xA9.txt",
       test::Hex("504B0304 1400 0008 0800 FD51 673A C2412435 05000000 03000000 0600 0000") +
           "\xC3\xA9.txt" + test::Hex("4B4C4A0600") +
           test::Hex("504B0102 140A 1400 0008 0800 FD51 673A C2412435 05000000 03000000"
                     "0600 0000 0000 0000 0000 20000000 00000000") +
           "\xC3\xA9.txt" + test::Hex("504B0506 0000 0000 0100 0100 34000000 29000000 0000")},
  };
  for (const auto& [name, expected] : kCases) {
    SetUp();
    TZelZip fresh;
    fresh.OpenArchive(archive);
    TMemoryStream stream(std::string("abc"));
    fresh.Entries().AddStreamItem(name, 0x20, kDate, stream);
    fresh.CloseArchive();
    EXPECT_EQ(ReadFile(archive), expected) << name;
    EXPECT_EQ(test::UnzipMember(archive, name), "abc") << name;
  }
}

TEST_F(ZipArchive, LevelNoneStillDeflatesAsOneStoredBlock) {
  zip.SetCompressionType(TZipCompressionType::ctNone);
  Open();
  Add("a.txt", "abc");
  std::string bytes = ReadFile(archive);
  EXPECT_EQ(U16At(bytes, 8), 8u);
  EXPECT_EQ(U32At(bytes, 18), 8u);
  EXPECT_EQ(bytes.substr(35, 8), test::Hex("010300FCFF616263"));
  EXPECT_TRUE(test::UnzipTest(archive).Ok);
}

TEST_F(ZipArchive, EmptyContentIsAStoredMemberWithoutData) {
  Open();
  TZelZipEntriesEntry* item = Add("empty.txt", "");
  std::string bytes = ReadFile(archive);
  EXPECT_EQ(U16At(bytes, 8), 0u);   // method
  EXPECT_EQ(U32At(bytes, 14), 0u);  // crc-32
  EXPECT_EQ(U32At(bytes, 18), 0u);
  EXPECT_EQ(U32At(bytes, 22), 0u);
  EXPECT_EQ(bytes.size(), size_t(30 + 9 + 46 + 9 + 22));
  EXPECT_EQ(item->CompressionType, TZipCompressionType::ctUnknown);
  EXPECT_TRUE(test::UnzipTest(archive).Ok);
}

TEST_F(ZipArchive, FolderChainGivesOneMemberPerMissingLevelInOrder) {
  Open();
  Add("a\\b\\x.txt", "x");
  Add("a/b/c/y.txt", "y");
  zip.Entries().AddFolderChain("a\\d\\", 0x10, kDate);
  std::vector<std::string> expected = {"a/", "a/b/", "a/b/x.txt", "a/b/c/", "a/b/c/y.txt", "a/d/"};
  ASSERT_EQ(zip.Entries().Count(), int(expected.size()));
  for (int i = 0; i < zip.Entries().Count(); ++i) {
    const TZelZipEntriesEntry& item = zip.Entries()[i];
    EXPECT_EQ(item.CentralDirectoryFile.FileName, expected[size_t(i)]);
    bool folder = expected[size_t(i)].ends_with("/");
    EXPECT_EQ(item.IsFolder, folder);
    if (folder) {
      EXPECT_EQ(item.CentralDirectoryFile.ExternalFileAttributes, 0x10u);
      EXPECT_EQ(item.CentralDirectoryFile.CompressionMethod, 0);
      EXPECT_EQ(item.CentralDirectoryFile.CompressedSize, 0u);
      EXPECT_EQ(item.CentralDirectoryFile.Crc32, 0u);
    }
  }
  EXPECT_EQ(zip.Entries().IndexOfItem("A\\B\\X.TXT"), 2);
  EXPECT_EQ(zip.Entries().IndexOfItem("a/b/x.txt2"), -1);
  zip.CloseArchive();
  EXPECT_EQ(MemberNames(archive), expected);
  EXPECT_TRUE(test::UnzipTest(archive).Ok);
}

// Names are looked up through an index of them, which must follow every change of the list.
TEST_F(ZipArchive, LookupByNameFollowsAddsRemovalsAndReopening) {
  Open();
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) Add(name, name);
  auto positions = [&] {
    std::vector<int> found;
    for (const char* name : {"A.TXT", "b.txt", "c.txt", "d.txt"})
      found.push_back(zip.Entries().IndexOfItem(name));
    return found;
  };
  EXPECT_EQ(positions(), (std::vector<int>{0, 1, 2, -1}));
  zip.Entries().RemoveItem(1);
  EXPECT_EQ(positions(), (std::vector<int>{0, -1, 1, -1}));
  Add("d.txt", "d");
  Add("B.TXT", "b");
  EXPECT_EQ(positions(), (std::vector<int>{0, 3, 1, 2}));
  zip.CloseArchive();
  Open();
  EXPECT_EQ(positions(), (std::vector<int>{0, 3, 1, 2}));
}

TEST_F(ZipArchive, SameNameInAnotherFormReplacesTheOldMemberAtTheEnd) {
  Open();
  Add("one.txt", "first one");
  Add("data\\x.gpx", "old content");
  Add("two.txt", "second");
  std::vector<int32_t> changes;
  zip.OnZipChange = [&](TZelZip&, int32_t code) { changes.push_back(code); };
  Add("DATA/X.GPX", "new content, longer than before");
  EXPECT_EQ(changes, std::vector<int32_t>{2});  // the removal inside the add is not announced
  zip.CloseArchive();
  EXPECT_EQ(MemberNames(archive),
            (std::vector<std::string>{"one.txt", "data/", "two.txt", "DATA/X.GPX"}));
  EXPECT_TRUE(test::UnzipTest(archive).Ok) << test::UnzipTest(archive).Output;
  EXPECT_EQ(test::UnzipMember(archive, "DATA/X.GPX"), "new content, longer than before");
  EXPECT_EQ(test::UnzipMember(archive, "two.txt"), "second");
}

TEST_F(ZipArchive, ReplacingTheOnlyMemberLeavesJustTheNewOne) {
  Open();
  Add("a.txt", "old");
  Add("A.TXT", "abc");
  ASSERT_EQ(zip.Entries().Count(), 1);
  zip.CloseArchive();
  EXPECT_EQ(test::UnzipMember(archive, "A.TXT"), "abc");
  EXPECT_EQ(ReadFile(archive).size(), 113u);
}

TEST_F(ZipArchive, LargerContentInflatesBackAtEveryLevel) {
  std::string content;
  for (int i = 0; i < 30000; ++i) content += "<wpt n=\"" + std::to_string(i * 7919 % 1000) + "\"/>";
  const TZipCompressionType types[] = {
      TZipCompressionType::ctNormal, TZipCompressionType::ctMaximum, TZipCompressionType::ctFast,
      TZipCompressionType::ctSuperFast, TZipCompressionType::ctNone};
  Open();
  for (TZipCompressionType type : types) {
    zip.SetCompressionType(type);
    Add("m" + std::to_string(int(type)) + ".xml", content);
  }
  std::string bytes = ReadFile(archive);
  for (int i = 0; i < zip.Entries().Count(); ++i) {
    const TCentralDirectoryFile& c = zip.Entries()[i].CentralDirectoryFile;
    size_t data = c.RelativeOffsetOfLocalHeader + 30 + c.FileNameLength;
    EXPECT_EQ(test::InflateRaw(bytes.substr(data, c.CompressedSize)), content) << c.FileName;
    EXPECT_EQ(c.UncompressedSize, content.size());
  }
  EXPECT_TRUE(test::UnzipTest(archive).Ok);
}

TEST_F(ZipArchive, PreparingTouchesNothingAndAppendingGivesTheSameBytes) {
  Open();
  TMemoryStream content("abc");
  int64_t progressTotal = -1;
  zip.OnCompressFile = [&](TZelZip&, int64_t, int64_t total) { progressTotal = total; };
  TPreparedZipItem item = zip.Entries().PrepareItem("a.txt", 0x20, kDate, content);
  EXPECT_EQ(ReadFile(archive).size(), 22u);
  EXPECT_EQ(zip.Entries().Count(), 0);
  EXPECT_EQ(item.StoredName, "a.txt");
  EXPECT_EQ(item.Crc32, 0x352441C2u);
  EXPECT_EQ(item.Data, test::Hex("4B4C4A0600"));
  EXPECT_EQ(progressTotal, -1);  // below one output buffer: no progress
  zip.Entries().AppendPreparedItem(std::move(item));
  EXPECT_EQ(ReadFile(archive), AbcArchive());
}

TEST_F(ZipArchive, ReopenedArchiveReadsBackMembersAndTheirFields) {
  Open();
  Add("a.txt", "abc");
  Add("z/", "", 0x10);
  zip.CloseArchive();
  std::vector<std::pair<int64_t, int64_t>> progress;
  zip.OnZipOpen = [&](TZelZip&, int64_t current, int64_t total) {
    progress.push_back({current, total});
  };
  Open();
  ASSERT_EQ(zip.Entries().Count(), 2);
  const TZelZipEntriesEntry& a = zip.Entries()[0];
  EXPECT_EQ(a.CompressionType, TZipCompressionType::ctNormal);
  EXPECT_EQ(a.LocalFile.FileName, "a.txt");
  EXPECT_EQ(a.LocalFile.CompressedSize, 5u);
  EXPECT_EQ(DecodeDateTime(a.DateTime).Second, 58);
  EXPECT_FALSE(a.IsEncrypted);
  EXPECT_TRUE(zip.Entries()[1].IsFolder);
  EXPECT_EQ(zip.Entries()[1].CompressionType, TZipCompressionType::ctUnknown);
  // Once per central record, then once per local header.
  EXPECT_EQ(progress, (std::vector<std::pair<int64_t, int64_t>>{{0, 2}, {1, 2}, {0, 2}, {1, 2}}));
}

TEST_F(ZipArchive, OpeningAMissingFileRaisesAndSomethingElseStaysClosed) {
  test::ExpectError<Exception>([&] { zip.OpenArchive(dir / "missing.zip"); }, "Exception",
                               "File \"" + dir / "missing.zip" + "\" not found!");
  EXPECT_FALSE(zip.IsZipFile());
  WriteFile(dir / "text.zip", "this is no archive at all, just some text");
  zip.OpenArchive(dir / "text.zip");
  EXPECT_FALSE(zip.IsZipFile());
  EXPECT_EQ(zip.FileName(), dir / "text.zip");
  // A directory whose count does not match, or that cannot be read, is no archive either.
  std::string broken = AbcArchive();
  broken[91 + 10] = 2;  // total records 2, one on this disk
  WriteFile(dir / "broken.zip", broken);
  zip.OpenArchive(dir / "broken.zip");
  EXPECT_FALSE(zip.IsZipFile());
  broken = AbcArchive();
  broken[91 + 16] = 0x29;  // directory offset one byte too far: no central signature there
  WriteFile(dir / "broken.zip", broken);
  zip.OpenArchive(dir / "broken.zip");
  EXPECT_FALSE(zip.IsZipFile());
  test::ExpectError<EZipError>([&] { Add("x.txt", "x"); }, "EZipError",
                               "Cannot change \"x.txt\": no archive is open");
}

TEST_F(ZipArchive, ChangeNoticesAndAddEventsFollowTheOperations) {
  std::vector<int32_t> changes;
  std::vector<std::string> added;
  zip.OnZipChange = [&](TZelZip&, int32_t code) { changes.push_back(code); };
  zip.OnAddItem = [&](TZelZip&, const std::string& name) { added.push_back(name); };
  Open();
  Add("d\\a.txt", "a");
  test::TTempFolder tree;
  WriteFile(tree / "b.txt", "b");
  WriteFile(tree / "c.txt", "c");
  zip.Entries().AddFolderTree(tree.Path(), tree.Path(), "*.*", true);
  zip.CloseArchive();
  // open (after the close it starts with), folder d, d\a.txt, one for the tree, close.
  EXPECT_EQ(changes, (std::vector<int32_t>{0, 1, 2, 2, 2, 0}));
  EXPECT_EQ(added, (std::vector<std::string>{"d\\a.txt", "b.txt", "c.txt"}));
}

TEST_F(ZipArchive, UnknownCompressionIsNormalAndActiveNeedsAFileName) {
  zip.SetCompressionType(TZipCompressionType::ctUnknown);
  EXPECT_EQ(zip.CompressionType(), TZipCompressionType::ctNormal);
  zip.SetActive(true);
  EXPECT_FALSE(zip.IsZipFile());
  zip.SetFileName(archive);
  zip.SetActive(true);
  EXPECT_TRUE(zip.IsZipFile());
  zip.SetActive(false);
  EXPECT_FALSE(zip.IsZipFile());
}

TEST_F(ZipArchive, WithoutRelativePathsOnlyTheFileNameIsStored) {
  zip.SetStoreRelativePath(false);
  Open();
  Add("deep\\folder\\a.txt", "abc");
  zip.CloseArchive();
  EXPECT_EQ(ReadFile(archive), AbcArchive());
}

TEST_F(ZipArchive, ReadOnlyArchiveOpensForReadingAndRefusesChanges) {
  Open();
  Add("a.txt", "abc");
  zip.CloseArchive();
  chmod(archive.c_str(), 0444);
  Open();
  EXPECT_TRUE(zip.ReadOnly());
  EXPECT_EQ(zip.Entries().Count(), 1);
  test::ExpectError<EZipError>(
      [&] { Add("b.txt", "b"); }, "EZipError",
      "Cannot change \"b.txt\" in archive \"" + archive + "\": the archive is read-only");
  EXPECT_EQ(ReadFile(archive), AbcArchive());
}

TEST_F(ZipArchive, MoreThan65535MembersIsRefusedBeforeAnythingIsWritten) {
  zip.CloseArchive();
  std::string locals, directory;
  for (int i = 0; i < 65535; ++i) {
    char name[5];
    snprintf(name, sizeof name, "%04x", i);
    TLocalFile local;
    local.LocalFileHeaderSignature = kLocalFileSignature;
    local.FileNameLength = 4;
    TCentralDirectoryFile central;
    central.CentralFileHeaderSignature = kCentralFileSignature;
    central.FileNameLength = 4;
    central.RelativeOffsetOfLocalHeader = uint32_t(locals.size());
    central.FileName = name;
    locals += EncodeLocalHeader(local) + name;
    directory += EncodeCentralRecord(central);
  }
  TEndOfCentralDir end;
  end.TotalNumberOfEntriesInTheCentralDirectoryOnThisDisk = 65535;
  end.TotalNumberOfEntriesInTheCentralDirectory = 65535;
  end.SizeOfTheCentralDirectory = uint32_t(directory.size());
  end.OffsetOfStartOfCentralDirectory = uint32_t(locals.size());
  std::string full = locals + directory + EncodeEndRecord(end);
  WriteFile(archive, full);
  Open();
  ASSERT_EQ(zip.Entries().Count(), 65535);
  test::ExpectError<EZipError>([&] { Add("new.txt", "abc"); }, "EZipError",
                               "Cannot add \"new.txt\" to archive \"" + archive +
                                   "\": the archive format allows no more than 65535 members");
  EXPECT_EQ(zip.Entries().Count(), 65535);
  zip.CloseArchive();
  EXPECT_TRUE(ReadFile(archive) == full);
}

TEST_F(ZipArchive, OffsetsBeyond32BitsAreRefusedBeforeAnythingIsWritten) {
  int64_t at = 0xFFFFFFF0;
  {
    TFileStream file(archive, TFileMode::Create);
    TEndOfCentralDir end;
    end.OffsetOfStartOfCentralDirectory = uint32_t(at);
    try {
      file.SetSize(at);  // sparse: takes no room
    } catch (const EFileError&) {
      GTEST_SKIP() << "no large files here";
    }
    file.SetPosition(at);
    file.WriteString(EncodeEndRecord(end));
  }
  Open();
  ASSERT_TRUE(zip.IsZipFile());
  test::ExpectError<EZipError>(
      [&] { Add("a.txt", "abc"); }, "EZipError",
      "Cannot add \"a.txt\" to archive \"" + archive +
          "\": the archive format allows no sizes and offsets beyond 4294967295 bytes "
          "(4 GiB)");
  zip.CloseArchive();
  struct stat info;
  ASSERT_EQ(stat(archive.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, at + 22);
}

// --- the folder zip of the build

class ZipFolderRun : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir(root.c_str(), 0755);
    for (const char* folder : {"/data", "/index", "/index/com", "/index/com/garmin",
                               "/index/com/garmin/geocaches", "/index/com/garmin/geocaches/v0"}) {
      mkdir((root + folder).c_str(), 0755);
    }
    WriteFile(root + "/data/caches_0000.gpx", "<gpx>chunk 0</gpx>");
    WriteFile(root + "/data/caches_0001.gpx", std::string(70000, 'w'));
    WriteFile(root + "/index/com/garmin/geocaches/v0/index.xml", "<ggz/>");
  }

  test::TTempFolder dir;
  std::string root = dir / "temp";
  std::string archive = dir / "out.ggz";
};

TEST_F(ZipFolderRun, ZipsTheTreeWithFolderMembersFirstAndNamesRelativeToTheRoot) {
  ZipFolder(archive, root + "/");
  std::vector<std::string> expected = {"data/",
                                       "data/caches_0000.gpx",
                                       "data/caches_0001.gpx",
                                       "index/",
                                       "index/com/",
                                       "index/com/garmin/",
                                       "index/com/garmin/geocaches/",
                                       "index/com/garmin/geocaches/v0/",
                                       "index/com/garmin/geocaches/v0/index.xml"};
  EXPECT_EQ(MemberNames(archive), expected);
  test::TUnzipCheck check = test::UnzipTest(archive);
  EXPECT_TRUE(check.Ok) << check.Output;
  EXPECT_EQ(test::UnzipMember(archive, "data/caches_0001.gpx"), std::string(70000, 'w'));
  EXPECT_EQ(test::UnzipMember(archive, "index/com/garmin/geocaches/v0/index.xml"), "<ggz/>");
  // Local records in the order added, then the directory, then the end record alone.
  std::string bytes = ReadFile(archive);
  TZelZip zip;
  zip.OpenArchive(archive);
  EXPECT_EQ(zip.Entries()[0].Offset(), 0);
  EXPECT_EQ(zip.EndRecordPosition() + 22, int64_t(bytes.size()));
}

// Each row: how many files the tree holds. The walk writes the directory once, after its
// last member, where single adds write it after each; the bytes are the same.
TEST_F(ZipFolderRun, WritesTheDirectoryOnceForTheWholeTreeAndTheSameBytesAsSingleAdds) {
  for (int count : {1, 2, 300}) {
    std::string tree = dir / ("tree" + std::to_string(count) + "/");
    mkdir(tree.c_str(), 0755);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
      names.push_back("c" + std::to_string(1000 + i) + ".gpx");
      WriteFile(tree + names.back(), "chunk " + std::to_string(i));
    }
    auto zipped = [&](const std::function<void(TZelZip&)>& add) {
      TZelZip zip;
      zip.SetStoreFolders(false);
      {
        TFileStream file(archive, TFileMode::Create);
        zip.CreateEmptyArchive(file);
      }
      zip.OpenArchive(archive);
      add(zip);
      zip.CloseArchive();
      return std::make_pair(ReadFile(archive), zip.DirectoryWrites());
    };
    auto [walked, walkWrites] =
        zipped([&](TZelZip& zip) { zip.Entries().AddFolderTree(tree, tree, "*.*", true); });
    auto [single, singleWrites] = zipped([&](TZelZip& zip) {
      for (const std::string& name : names) zip.Entries().AddFileItem(tree + name, name);
    });
    EXPECT_EQ(walkWrites, 1) << count;
    EXPECT_EQ(singleWrites, count) << count;
    EXPECT_EQ(walked, single) << count;
    EXPECT_EQ(MemberNames(archive), names);
  }
}

TEST_F(ZipFolderRun, MembersCarryTheFilesTimesAndAttributes) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {1236420959, 500000000}};
  utimensat(AT_FDCWD, (root + "/data/caches_0000.gpx").c_str(), times, 0);
  chmod((root + "/data/caches_0000.gpx").c_str(), 0444);
  ZipFolder(archive, root + "/");
  TZelZip zip;
  zip.OpenArchive(archive);
  const TCentralDirectoryFile& file = zip.Entries()[1].CentralDirectoryFile;
  TDosDateTime dos = DateTimeToDos(UnixToLocalDateTime(1236420959, 500000000));
  EXPECT_EQ(file.LastModFileTime, dos.Time);
  EXPECT_EQ(file.LastModFileDate, dos.Date);
  EXPECT_EQ(file.ExternalFileAttributes, 0x21u);
  EXPECT_EQ(zip.Entries()[0].CentralDirectoryFile.ExternalFileAttributes, 0x10u);
}

TEST_F(ZipFolderRun, SkipsPathsWithoutADotAndNeverAddsTheRoot) {
  if (root.find('.') != std::string::npos) GTEST_SKIP() << "the temporary folder has a dot";
  WriteFile(root + "/data/README", "no dot");
  mkdir((root + "/data/a").c_str(), 0755);
  mkdir((root + "/data/a/b").c_str(), 0755);
  mkdir((root + "/data/a/b/c").c_str(), 0755);
  WriteFile(root + "/data/a/b/c/deep.txt", "deep");
  ZipFolder(archive, root + "/");
  std::vector<std::string> names = MemberNames(archive);
  EXPECT_EQ(std::count(names.begin(), names.end(), "data/README"), 0);
  std::vector<std::string> deep(names.begin() + 1, names.begin() + 5);
  EXPECT_EQ(deep, (std::vector<std::string>{"data/a/", "data/a/b/", "data/a/b/c/",
                                            "data/a/b/c/deep.txt"}));
  for (const std::string& name : names) EXPECT_FALSE(name.empty() || name == "/");
}

TEST_F(ZipFolderRun, ReplacesAnExistingArchiveAndReportsOneThatCannotBeCreated) {
  WriteFile(archive, std::string(5000, 'o'));
  ZipFolder(archive, root + "/");
  EXPECT_TRUE(test::UnzipTest(archive).Ok);
  std::string blocked = dir / "missing/out.ggz";
  test::ExpectError<EFCreateError>(
      [&] { ZipFolder(blocked, root + "/"); }, "EFCreateError",
      "Cannot create file \"" + blocked + "\". No such file or directory");
}

TEST_F(ZipFolderRun, AFolderThatCannotBeListedIsAnError) {
  TZelZip zip;
  {
    TFileStream file(archive, TFileMode::Create);
    zip.CreateEmptyArchive(file);
  }
  zip.OpenArchive(archive);
  EXPECT_THROW(zip.Entries().AddFolderTree(root + "/gone", root, "*.*", true), EFOpenError);
}

TEST_F(ZipFolderRun, AFullDiskEndsWithAWriteError) {
  WriteFile(root + "/data/noise.gpx", test::Noise(50000));
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 30000;
  auto previous = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  test::ExpectError<EFWriteError>([&] { ZipFolder(archive, root + "/"); }, "EFWriteError",
                                  "Cannot write file \"" + archive + "\". File too large");
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
}

}  // namespace
}  // namespace voltrane
