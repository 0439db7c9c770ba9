#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "zip/ZipErrors.h"
#include "zip/ZipFolder.h"
#include "zip/ZipTestSupport.h"

namespace voltrane::test {
namespace {

// The archive of a.txt holding abc, deflated, dated kDate, attributes 0x20.
std::string AbcArchive() {
  return Hex("504B0304 1400 0000 0800 FD51 673A C2412435 05000000 03000000 0500 0000") + "a.txt" +
         Hex("4B4C4A0600") +
         Hex("504B0102 1400 1400 0000 0800 FD51 673A C2412435 05000000 03000000"
             "0500 0000 0000 0000 0000 20000000 00000000") +
         "a.txt" + Hex("504B0506 0000 0000 0100 0100 33000000 28000000 0000");
}

using ZipArchive = ZipFile;

// Each row: a member name, whether its path is stored (else only the file name), the archive
// of it holding abc. Only a name beyond ASCII carries the UTF-8 flag (bit 11), in both of its
// records, and Windows as its host, so that unzip reads it as UTF-8 too.
TEST_F(ZipArchive, OneMemberIsByteExactAndFlaggedUtf8OnlyBeyondAscii) {
  const std::tuple<std::string, bool, std::string> kCases[] = {
      {"a.txt", true, AbcArchive()},
      {"deep\\folder\\a.txt", false, AbcArchive()},
      {"\xC3\xA9.txt", true,
       Hex("504B0304 1400 0008 0800 FD51 673A C2412435 05000000 03000000 0600 0000") +
           "\xC3\xA9.txt" + Hex("4B4C4A0600") +
           Hex("504B0102 140A 1400 0008 0800 FD51 673A C2412435 05000000 03000000"
               "0600 0000 0000 0000 0000 20000000 00000000") +
           "\xC3\xA9.txt" + Hex("504B0506 0000 0000 0100 0100 34000000 29000000 0000")},
  };
  for (const auto& [name, relative, expected] : kCases) {
    zip.CloseArchive();
    SetUp();
    zip.SetStoreRelativePath(relative);
    Add(name, "abc");
    EXPECT_EQ(ReadFile(archive), expected) << name;
    if (relative) ExpectReadable(archive, {{name, "abc"}});
  }
}

TEST_F(ZipArchive, FolderChainGivesOneMemberPerMissingLevelInOrder) {
  Add("a\\b\\x.txt", "x");
  Add("a/b/c/y.txt", "y");
  zip.Entries().AddFolderChain("a\\d\\", 0x10, kDate);
  std::vector<std::string> expected = {"a/", "a/b/", "a/b/x.txt", "a/b/c/", "a/b/c/y.txt", "a/d/"};
  for (int i = 0; i < zip.Entries().Count(); ++i)
    EXPECT_EQ(zip.Entries()[i].IsFolder, expected[size_t(i)].ends_with("/"));
  EXPECT_EQ(MemberNames(archive), expected);
  ExpectReadable(archive, {});
}

// Names are looked up through an index of them, which must follow every change of the list.
TEST_F(ZipArchive, LookupByNameFollowsAddsRemovalsAndReopening) {
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
  Add("one.txt", "first one");
  Add("data\\x.gpx", "old content");
  Add("two.txt", "second");
  std::vector<int32_t> changes;
  zip.OnZipChange = [&](TZelZip&, int32_t code) { changes.push_back(code); };
  Add("DATA/X.GPX", "new content, longer than before");
  EXPECT_EQ(changes, std::vector<int32_t>{2});  // the removal inside the add is not announced
  EXPECT_EQ(MemberNames(archive),
            (std::vector<std::string>{"one.txt", "data/", "two.txt", "DATA/X.GPX"}));
  ExpectReadable(archive, {{"DATA/X.GPX", "new content, longer than before"}});
}

// ctNone too deflates, in stored blocks; ctUnknown stands for ctNormal.
TEST_F(ZipArchive, LargerContentInflatesBackAtEveryLevel) {
  std::string content;
  for (int i = 0; i < 30000; ++i) content += "<wpt n=\"" + std::to_string(i * 7919 % 1000) + "\"/>";
  TMembers members;
  std::string methods;
  for (int type = 0; type <= int(TZipCompressionType::ctUnknown); ++type) {
    zip.SetCompressionType(TZipCompressionType(type));
    members.push_back({"m" + std::to_string(type) + ".xml", content});
    methods +=
        std::to_string(Add(members.back().first, content)->CentralDirectoryFile.CompressionMethod);
  }
  EXPECT_EQ(std::pair(zip.CompressionType(), methods),
            std::pair(TZipCompressionType::ctNormal, std::string(6, '0' + kMethodDeflated)));
  ExpectReadable(archive, members);
}

TEST_F(ZipArchive, PreparingTouchesNothingAndAppendingGivesTheSameBytes) {
  TMemoryStream content("abc");
  bool progress = false;
  zip.OnCompressFile = [&](TZelZip&, int64_t, int64_t) { progress = true; };
  TPreparedZipItem item = zip.Entries().PrepareItem("a.txt", 0x20, kDate, content);
  EXPECT_EQ(std::tuple(ReadFile(archive).size(), zip.Entries().Count(), progress),
            std::tuple(22u, 0, false));  // below one output buffer: no progress
  zip.Entries().AppendPreparedItem(std::move(item));
  EXPECT_EQ(ReadFile(archive), AbcArchive());
}

// The folder member has no content: it is stored, not deflated.
TEST_F(ZipArchive, ReopenedArchiveReadsBackMembersAndTheirFields) {
  Add("a.txt", "abc");
  Add("z/", "", 0x10);
  zip.CloseArchive();
  std::vector<std::pair<int64_t, int64_t>> progress;
  zip.OnZipOpen = [&](TZelZip&, int64_t c, int64_t t) { progress.push_back({c, t}); };
  Open();
  ASSERT_EQ(zip.Entries().Count(), 2);
  const TZelZipEntriesEntry &a = zip.Entries()[0], &z = zip.Entries()[1];
  EXPECT_EQ(
      std::tuple(a.CompressionType, a.LocalFile.CompressedSize, DecodeDateTime(a.DateTime).Second,
                 z.IsFolder, z.CompressionType),
      std::tuple(TZipCompressionType::ctNormal, 5u, 58, true, TZipCompressionType::ctUnknown));
  // Once per central record, then once per local header.
  EXPECT_EQ(progress, (std::vector<std::pair<int64_t, int64_t>>{{0, 2}, {1, 2}, {0, 2}, {1, 2}}));
}

TEST_F(ZipArchive, OpeningAMissingFileRaisesAndLeavesNothingToChange) {
  EXPECT_EQ(KindAndMessageOf([&] { zip.OpenArchive(dir / "missing.zip"); }),
            "Exception: File \"" + dir / "missing.zip" + "\" not found!");
  EXPECT_FALSE(zip.IsZipFile());
  EXPECT_EQ(KindAndMessageOf([&] { Add("x.txt", "x"); }),
            "EZipError: Cannot change \"x.txt\": no archive is open");
}

// Each row: bytes whose end record does not describe a directory that can be read.
TEST_F(ZipArchive, BytesWithoutAReadableDirectoryAreNoArchive) {
  auto changed = [](size_t at, const std::string& bytes) {
    return AbcArchive().replace(at, bytes.size(), bytes);
  };
  const std::string kCases[] = {
      "this is no archive at all, just some text",
      changed(91 + 10, "\x02"),  // total records 2, one on this disk
      changed(91 + 16, "\x29"),  // directory offset one byte too far: no central signature
      // A directory size reaching past the end record once sized the file to gigabytes.
      changed(91 + 12, Le(0xD52C0000, 4)),
  };
  for (const std::string& bytes : kCases) {
    WriteFile(archive, bytes);
    Open();
    EXPECT_EQ(std::pair(zip.IsZipFile(), zip.Entries().Count()), std::pair(false, 0)) << bytes;
  }
}

TEST_F(ZipArchive, ChangeNoticesAndAddEventsFollowTheOperations) {
  std::vector<int32_t> changes;
  std::vector<std::string> added;
  zip.OnZipChange = [&](TZelZip&, int32_t code) { changes.push_back(code); };
  zip.OnAddItem = [&](TZelZip&, const std::string& name) { added.push_back(name); };
  Open();
  Add("d\\a.txt", "a");
  TTempFolder tree;
  for (const char* name : {"b.txt", "c.txt"}) WriteFile(tree / name, name);
  zip.Entries().AddFolderTree(tree.Path(), tree.Path(), "*.*", true);
  zip.Entries().RemoveItem(0);
  zip.CloseArchive();
  // Close and open, folder d, d\a.txt, one for the tree, the removal, close.
  EXPECT_EQ(changes, (std::vector<int32_t>{0, 1, 2, 2, 2, 3, 0}));
  EXPECT_EQ(added, (std::vector<std::string>{"d\\a.txt", "b.txt", "c.txt"}));
}

TEST_F(ZipArchive, ActiveOpensAndClosesTheNamedArchiveAndNeedsAName) {
  TZelZip idle;
  idle.SetActive(true);
  EXPECT_FALSE(idle.Active());
  idle.SetFileName(archive);
  idle.SetActive(true);
  EXPECT_TRUE(idle.Active() && idle.IsZipFile());
  idle.SetActive(false);
  EXPECT_FALSE(idle.Active());
}

TEST_F(ZipArchive, ReadOnlyArchiveOpensForReadingAndRefusesChanges) {
  WriteFile(archive, AbcArchive());
  chmod(archive.c_str(), 0444);
  Open();
  EXPECT_EQ(std::pair(zip.ReadOnly(), zip.Entries().Count()), std::pair(true, 1));
  EXPECT_EQ(KindAndMessageOf([&] { Add("b.txt", "b"); }),
            "EZipError: Cannot change \"b.txt\" in archive \"" + archive +
                "\": the archive is read-only");
  EXPECT_EQ(ReadFile(archive), AbcArchive());
}

// Each row: the archive as it would be after the add (members, the longest name, the largest
// size, the end), and the limit it would pass.
TEST(ZipLimits, AreThe16BitCountsAndLengthsAndThe32BitSizesAndOffsets) {
  const std::tuple<int64_t, int64_t, int64_t, int64_t, std::string> kCases[] = {
      {65535, 65535, 0xFFFFFFFF, 0xFFFFFFFF, ""},
      {65536, 1, 0, 0, "more than 65535 members"},
      {1, 65536, 0, 0, "a member name longer than 65535 bytes"},
      {1, 1, 0x100000000, 0, "sizes and offsets beyond 4294967295 bytes (4 GiB)"},
      {1, 1, 0, 0x100000000, "sizes and offsets beyond 4294967295 bytes (4 GiB)"},
  };
  for (const auto& [members, nameLength, size, end, exceeded] : kCases)
    EXPECT_EQ(ExceededZipLimit(members, nameLength, size, end), exceeded) << exceeded;
}

TEST_F(ZipArchive, AddPastTheFormatsLimitsIsRefusedBeforeAnythingIsWritten) {
  int64_t at = 0xFFFFFFF0;
  {
    TFileStream file(archive, TFileMode::Create);
    try {
      file.SetSize(at);  // sparse: takes no room
    } catch (const EFileError&) {
      GTEST_SKIP() << "no large files here";
    }
    file.SetPosition(at);
    file.WriteString(EncodeEndRecord({.OffsetOfStartOfCentralDirectory = uint32_t(at)}));
  }
  Open();
  ASSERT_TRUE(zip.IsZipFile());
  EXPECT_EQ(KindAndMessageOf([&] { Add("a.txt", "abc"); }),
            "EZipError: Cannot add \"a.txt\" to archive \"" + archive +
                "\": the archive format allows no sizes and offsets beyond "
                "4294967295 bytes (4 GiB)");
  EXPECT_EQ(zip.Entries().Count(), 0);
  zip.CloseArchive();
  TFileStream file(archive, TFileMode::OpenRead);
  file.SetPosition(at);
  EXPECT_EQ(file.ReadRest(),
            "PK\x05\x06" + std::string(12, '\0') + Le(uint32_t(at), 4) + std::string(2, '\0'));
}

// Each row: how many files the tree holds. The walk writes the directory once, after its
// last member, where single adds write it after each; the bytes are the same.
TEST_F(ZipArchive, FolderTreeWritesTheDirectoryOnceAndTheSameBytesAsSingleAdds) {
  zip.SetStoreFolders(false);
  for (int count : {1, 2, 300}) {
    TTempFolder tree;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
      names.push_back("c" + std::to_string(1000 + i) + ".gpx");
      WriteFile(tree / names.back(), "chunk " + std::to_string(i));
    }
    std::string bytes[2];  // walked, then added one by one
    int64_t directoryWrites[2];
    for (int single : {0, 1}) {
      zip.CloseArchive();
      SetUp();
      int64_t before = zip.DirectoryWrites();
      if (!single)
        zip.Entries().AddFolderTree(tree.Path(), tree.Path(), "*.*", true);
      else
        for (const std::string& name : names) zip.Entries().AddFileItem(tree / name, name);
      bytes[single] = ReadFile(archive);
      directoryWrites[single] = zip.DirectoryWrites() - before;
    }
    EXPECT_EQ(bytes[0], bytes[1]) << count;
    EXPECT_EQ(std::pair(directoryWrites[0], directoryWrites[1]),
              std::pair(int64_t(1), int64_t(count)));
    EXPECT_EQ(MemberNames(archive), names);
  }
}

// --- the folder zip

class ZipFolderRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"", "/data", "/index", "/index/v0"})
      mkdir((root + folder).c_str(), 0755);
    WriteFile(root + "/data/caches_0000.gpx", "<gpx>chunk 0</gpx>");
    WriteFile(root + "/data/caches_0001.gpx", std::string(70000, 'w'));
    WriteFile(root + "/index/v0/index.xml", "<ggz/>");
  }

  TTempFolder dir;
  std::string root = dir / "temp";
  std::string archive = dir / "out.ggz";
};

// A path without a "." matches no "*.*": the file README is left out, the root never added.
// A member carries its file's time and attributes (0x01: read-only), a folder 0x10.
TEST_F(ZipFolderRun, ZipsTheTreeWithFolderMembersFirstNamedRelativeToTheRoot) {
  if (root.find('.') != std::string::npos) GTEST_SKIP() << "the temporary folder has a dot";
  WriteFile(root + "/data/README", "no dot");
  struct timespec times[2] = {{0, UTIME_OMIT}, {1236420959, 500000000}};
  utimensat(AT_FDCWD, (root + "/data/caches_0000.gpx").c_str(), times, 0);
  chmod((root + "/data/caches_0000.gpx").c_str(), 0444);
  WriteFile(archive, std::string(5000, 'o'));  // replaced
  ZipFolder(archive, root + "/");
  EXPECT_EQ(MemberNames(archive),
            (std::vector<std::string>{"data/", "data/caches_0000.gpx", "data/caches_0001.gpx",
                                      "index/", "index/v0/", "index/v0/index.xml"}));
  TZelZip zip;
  zip.OpenArchive(archive);
  const TCentralDirectoryFile& file = zip.Entries()[1].CentralDirectoryFile;
  TDosDateTime dos = DateTimeToDos(UnixToLocalDateTime(1236420959, 500000000));
  EXPECT_EQ(std::tuple(file.LastModFileTime, file.LastModFileDate, file.ExternalFileAttributes,
                       zip.Entries()[0].CentralDirectoryFile.ExternalFileAttributes),
            std::tuple(dos.Time, dos.Date, 0x21u, 0x10u));
}

TEST_F(ZipFolderRun, AnArchiveThatCannotBeCreatedOrAFolderThatCannotBeListedIsAnError) {
  std::string blocked = dir / "missing/out.ggz";
  EXPECT_EQ(KindAndMessageOf([&] { ZipFolder(blocked, root + "/"); }),
            "EFCreateError: Cannot create file \"" + blocked + "\". No such file or directory");
  EXPECT_THROW(ZipFolder(archive, root + "/gone/"), EFOpenError);
}

TEST_F(ZipFolderRun, AFullDiskEndsWithAWriteError) {
  WriteFile(root + "/data/noise.gpx", Noise(50000));
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  TScoped restore([old, previous = signal(SIGXFSZ, SIG_IGN)] {
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
  });
  const rlimit small = {30000, old.rlim_max};
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_EQ(KindAndMessageOf([&] { ZipFolder(archive, root + "/"); }),
            "EFWriteError: Cannot write file \"" + archive + "\". File too large");
}

}  // namespace
}  // namespace voltrane::test
