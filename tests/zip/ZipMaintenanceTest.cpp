#include <gtest/gtest.h>

#include "util/Crc32.h"
#include "zip/ZipTestSupport.h"

namespace voltrane::test {
namespace {

// An archive as streaming writers leave it: every local header has flag bit 3 and zero
// sizes, the sizes follow the data in a 16-byte descriptor. Or only its local records.
std::string DescriptorArchive(const TMembers& members, bool deflated, bool withDirectory = true) {
  std::string locals, directory;
  for (const auto& [name, content] : members) {
    std::string data = deflated ? RawDeflate(content, 6) : content;
    uint32_t crc = Crc32Of(content);
    std::string fields = Le(deflated ? 8 : 0, 2) + Le(0x6000, 2) + Le(0x3EA4, 2);
    std::string sizes = Le(crc, 4) + Le(uint32_t(data.size()), 4) + Le(uint32_t(content.size()), 4);
    directory += "PK\x01\x02" + Le(0x031E, 2) + Le(20, 2) + Le(8, 2) + fields + sizes +
                 Le(uint32_t(name.size()), 2) + std::string(8, '\0') + Le(0x81A40000, 4) +
                 Le(uint32_t(locals.size()), 4) + name;
    locals += "PK\x03\x04" + Le(20, 2) + Le(8, 2) + fields + std::string(12, '\0') +
              Le(uint32_t(name.size()), 2) + Le(0, 2) + name + data + "PK\x07\x08" + sizes;
  }
  if (!withDirectory) return locals;
  return locals + directory + "PK\x05\x06" + Le(0, 4) + Le(uint32_t(members.size()), 2) +
         Le(uint32_t(members.size()), 2) + Le(uint32_t(directory.size()), 4) +
         Le(uint32_t(locals.size()), 4) + Le(0, 2);
}

using ZipMaintenance = ZipFile;

TEST_F(ZipMaintenance, RemovingTheOnlyMemberLeavesTheEmptyArchivePlusComment) {
  Add("a.txt", "abc");
  zip.Entries().RemoveItem(0);
  EXPECT_EQ(ReadFile(archive), "PK\x05\x06" + std::string(18, '\0'));
  Add("a.txt", "abc");
  zip.SetComment({"note"});
  zip.Entries().RemoveItem(0);
  EXPECT_EQ(ReadFile(archive), "PK\x05\x06" + std::string(16, '\0') + Le(6, 2) + "note\r\n");
  EXPECT_EQ(zip.Comment(), std::vector<std::string>{"note"});
}

// Each row: local records without the directory after them, their members. The walk of the
// records finds them, sizes from the data descriptor where one follows the data, and the next
// add writes the directory after them.
TEST_F(ZipMaintenance, LocalRecordsOnlyOpenAndTheNextAddWritesADirectory) {
  Add("a/x.txt", "first");
  Add("a/y.txt", "second");
  std::string own = ReadFile(archive).substr(0, zip.EndRecord().OffsetOfStartOfCentralDirectory);
  TMembers foreign = {{"p.txt", std::string(3000, 'p') + "PK\x07\x08"}, {"q.txt", "q"}};
  const std::pair<std::string, TMembers> kCases[] = {
      {own, {{"a/", ""}, {"a/x.txt", "first"}, {"a/y.txt", "second"}}},
      {DescriptorArchive(foreign, true, false), foreign},
      {DescriptorArchive(foreign, false, false), foreign},
  };
  for (auto [locals, members] : kCases) {
    WriteFile(archive, locals + "trailing junk");
    Open();
    ASSERT_EQ(zip.Entries().Count(), int(members.size()));
    for (int i = 0; i < zip.Entries().Count(); ++i) {
      const TCentralDirectoryFile& c = zip.Entries()[i].CentralDirectoryFile;
      EXPECT_EQ(c.FileName, members[size_t(i)].first);
      EXPECT_EQ(c.UncompressedSize, members[size_t(i)].second.size());
      EXPECT_EQ(c.ExternalFileAttributes, c.FileName.ends_with("/") ? 0x10u : 0x20u);
    }
    EXPECT_EQ(Add("z.txt", "added")->Offset(), int64_t(locals.size()));
    members.push_back({"z.txt", "added"});
    ExpectReadable(archive, members);
  }
}

TEST_F(ZipMaintenance, EveryOperationKeepsDataDescriptorsOfForeignArchives) {
  TMembers members = {
      {"a.txt", std::string(2000, 'a')}, {"b.txt", "bb"}, {"c.txt", std::string(900, 'c')}};
  WriteFile(archive, DescriptorArchive(members, true));
  Open();
  zip.Entries().RemoveItem(0);  // in place
  ExpectReadable(archive, {members[1], members[2]});
  Open();
  zip.SetSaveMethod(TZipSaveMethod::RebuildAll);
  Add("d.txt", "dd");
  zip.Entries().RemoveItem(zip.Entries().IndexOfItem("b.txt"));
  zip.SetComment({"kept"});
  ExpectReadable(archive, {members[2], {"d.txt", "dd"}});
  Open();
  EXPECT_EQ(zip.Entries()[0].LocalFile.GeneralPurposeBitFlag & 8, 8);  // descriptor kept
  EXPECT_EQ(zip.Comment(), std::vector<std::string>{"kept"});
}

TEST_F(ZipMaintenance, RebuildingGivesTheSameBytesAsAppendingInPlace) {
  auto build = [&](TZipSaveMethod method) {
    zip.CloseArchive();
    SetUp();
    zip.SetStoreFolders(false);  // folder members would carry the clock's time
    zip.SetSaveMethod(method);
    Add("d\\one.txt", std::string(3000, '1'));
    Add("two.txt", "two");
    Add("D/ONE.TXT", "replaced");
    zip.Entries().RemoveItem(zip.Entries().IndexOfItem("two.txt"));
    Add("three.txt", "three");
    return ReadFile(archive);
  };
  std::string inPlace = build(TZipSaveMethod::FastSave);
  EXPECT_EQ(build(TZipSaveMethod::RebuildAll), inPlace);
  ExpectReadable(archive, {{"D/ONE.TXT", "replaced"}, {"three.txt", "three"}});
}

TEST_F(ZipMaintenance, AfterARebuildTheNextAddWorksOnTheNewLayout) {
  zip.SetStoreFolders(false);
  Add("a.txt", std::string(1000, 'a'));
  Add("b.txt", "b");
  zip.SetComment({"c1"});
  zip.SetSaveMethod(TZipSaveMethod::RebuildAll);
  std::vector<std::pair<int64_t, int64_t>> rebuild, sums;
  zip.OnRebuildZip = [&](TZelZip&, int64_t c, int64_t t) { rebuild.push_back({c, t}); };
  zip.OnRemoveItems = [&](TZelZip&, int64_t c, int64_t t) { sums.push_back({c, t}); };
  Add("A.TXT", "short now");  // the removal rebuilds too, then the add
  using Calls = std::vector<std::pair<int64_t, int64_t>>;
  EXPECT_EQ(sums, (Calls{{0, 0}, {0, 0}}));
  EXPECT_EQ(rebuild, (Calls{{0, 0}, {0, 0}, {100, 100}, {0, 0}, {0, 1}, {1, 1}, {100, 100}}));
  // The add in place below needs every offset and position of the new layout.
  zip.SetSaveMethod(TZipSaveMethod::FastSave);
  Add("c.txt", "c");
  ExpectReadable(archive, {{"b.txt", "b"}, {"A.TXT", "short now"}, {"c.txt", "c"}});
  EXPECT_TRUE(ReadFile(archive).ends_with("c1\r\n"));
}

TEST_F(ZipMaintenance, TemporaryFilesAreCreatedInTmpdirAndAlwaysRemoved) {
  TTempFolder temp;
  auto tmpdir = ScopedEnvironment("TMPDIR", temp.Path().c_str());
  zip.SetUseTempFiles(true);
  zip.SetSaveMethod(TZipSaveMethod::RebuildAll);
  std::vector<std::string> seen;
  zip.OnRebuildZip = [&](TZelZip&, int64_t, int64_t) {
    if (seen.empty()) seen = ListNames(temp.Path());
  };
  Add("a.txt", "abc");
  EXPECT_EQ(seen.size(), 1u);  // the rebuild's file lies there while it is written
  Add("b.txt", "b");
  zip.Entries().RemoveItem(0);
  EXPECT_TRUE(ListNames(temp.Path()).empty());
  ExpectReadable(archive, {{"b.txt", "b"}});
}

TEST_F(ZipMaintenance, AFailedRebuildLeavesTheArchiveAsItWas) {
  for (bool tempFiles : {false, true}) {
    SCOPED_TRACE(tempFiles ? "temporary files" : "memory");
    auto stream = std::make_unique<TWatchedStream>("PK\x05\x06" + std::string(18, '\0'));
    TWatchedStream* raw = stream.get();
    zip.OpenArchiveStream(std::move(stream));
    Add("a.txt", std::string(5000, 'a'));
    Add("b.txt", "b");
    std::string before = raw->DataString();
    zip.SetSaveMethod(TZipSaveMethod::RebuildAll);
    zip.SetUseTempFiles(tempFiles);
    raw->FailNextWrite = true;
    EXPECT_THROW(Add("c.txt", "c"), EWriteError);
    EXPECT_EQ(raw->DataString(), before);
    raw->FailNextWrite = true;
    EXPECT_THROW(zip.Entries().RemoveItem(0), EWriteError);
    EXPECT_EQ(raw->DataString(), before);
    ASSERT_EQ(zip.Entries().Count(), 2);
    zip.Entries().RemoveItem(0);  // and it still works afterwards
    EXPECT_EQ(zip.Entries()[0].Offset(), 0);
    zip.CloseArchive();
  }
}

// The empty archive is the bare end record, its comment starting right after it.
TEST_F(ZipMaintenance, CommentIsWrittenWithItsLengthAndReplacedExactly) {
  EXPECT_EQ(ReadFile(archive), "PK\x05\x06" + std::string(18, '\0'));
  zip.SetComment({"abc"});
  EXPECT_EQ(ReadFile(archive).substr(20), Le(5, 2) + "abc\r\n");
  zip.SetComment({"a much longer comment", "", "of three lines"});
  zip.SetComment({"x"});  // shorter: nothing of the old one remains
  EXPECT_EQ(ReadFile(archive).substr(20), Le(3, 2) + "x\r\n");
  zip.SetComment({});
  EXPECT_EQ(ReadFile(archive), "PK\x05\x06" + std::string(18, '\0'));
}

// Its bytes as another writer left them: no line end, a CR between the lines.
TEST_F(ZipMaintenance, ForeignCommentGoesBackUnchangedAfterAnAdd) {
  WriteFile(archive, "PK\x05\x06" + std::string(16, '\0') + Le(7, 2) + "one\rtwo");
  Open();
  EXPECT_EQ(zip.Comment(), (std::vector<std::string>{"one", "two"}));
  Add("a.txt", "abc");
  EXPECT_TRUE(ReadFile(archive).ends_with(Le(7, 2) + "one\rtwo"));
  ExpectReadable(archive, {{"a.txt", "abc"}});
  zip.CloseArchive();
  zip.SetComment({"closed"});  // no archive open: only the list is cleared
  EXPECT_TRUE(ReadFile(archive).ends_with("one\rtwo"));
}

TEST_F(ZipMaintenance, FileNamesListMembersWithBackslashesWhenChanged) {
  EXPECT_TRUE(zip.FileNames().empty());
  Add("data\\x.gpx", "x");
  EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"data\\", "data\\x.gpx"}));
  zip.Entries().RemoveItem(1);
  EXPECT_EQ(zip.FileNames(), std::vector<std::string>{"data\\"});
  zip.Entries()[0].CentralDirectoryFile.FileName = "C://a/b";
  EXPECT_EQ(zip.FileNames(), std::vector<std::string>{"data\\"});  // not dirty: unchanged
  zip.CloseArchive();
  EXPECT_TRUE(zip.FileNames().empty());
}

}  // namespace
}  // namespace voltrane::test
