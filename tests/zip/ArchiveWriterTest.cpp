// The archive writer of a run: members in walk order whatever order they come in, a large
// streamed member through a spill file. The run's end-to-end test pins the same bytes for
// every number of workers.
#include <gtest/gtest.h>

#include "rt/Path.h"
#include "util/Crc32.h"
#include "zip/ArchiveWriter.h"
#include "zip/ZipTestSupport.h"

namespace voltrane::test {
namespace {

TEST(ArchiveWriter, ListsMembersInWalkOrderWhateverOrderTheyCameIn) {
  const struct {
    const char* why;
    std::vector<std::string> added;  // in the order added; names ending in "/" are folders
    std::vector<std::string> listed;
  } kCases[] = {
      {"a renamed colliding source sorts before the chunks it collides with",
       {"data/", "data/c_0000.gpx", "data/c-2_0000.gpx", "index/i.xml"},
       {"data/", "data/c-2_0000.gpx", "data/c_0000.gpx", "index/", "index/i.xml"}},
      {"chunk numbers past 9999 sort by their digits",
       {"data/", "data/c_9999.gpx", "data/c_10000.gpx"},
       {"data/", "data/c_10000.gpx", "data/c_9999.gpx"}},
      {"a folder's members come before a sibling that sorts after the folder's name",
       {"a-b.gpx", "a/z.gpx"},
       {"a/", "a/z.gpx", "a-b.gpx"}},
  };
  for (const auto& c : kCases) {
    for (int workers : {0, 2}) {
      SCOPED_TRACE(c.why + (", workers: " + std::to_string(workers)));
      TTempFolder dir;
      TMembers contents;
      TArchiveWriter writer(dir / "a.zip", dir / "", workers);
      for (const std::string& name : c.added) {
        if (name.back() == '/') {
          writer.AddFolder(name);
        } else if (name.find("index") != std::string::npos) {
          writer.BeginStreamedMember(name).WriteString("index of " + name);
          writer.EndStreamedMember();
          contents.push_back({name, "index of " + name});
        } else {
          writer.AddMember(name, "content of " + name, Crc32Of("content of " + name));
          contents.push_back({name, "content of " + name});
        }
      }
      writer.Finish();
      EXPECT_EQ(MemberNames(writer.Path()), c.listed);
      ExpectReadable(writer.Path(), contents);
      // Only the archive is left: the first file, when it was rewritten, went.
      EXPECT_EQ(ListNames(dir.Path()).size(), 1u);
    }
  }
}

TEST(ArchiveWriter, LargeStreamedMemberWaitsInTheSpillFolderAndLeavesNoFile) {
  TTempFolder dir;
  ASSERT_TRUE(ForceDirectories(dir / "spill/"));
  std::string content = Noise(size_t(TSpillingOutput::kMemberInMemory) + 300000);
  TArchiveWriter writer(dir / "a.zip", dir / "spill/", 1);
  TStream& index = writer.BeginStreamedMember("index/index.xml");
  for (size_t at = 0; at < content.size(); at += 100000)
    index.WriteString(content.substr(at, 100000));
  EXPECT_EQ(ListNames(dir / "spill"), std::vector<std::string>{"index.xml.deflate"});
  writer.EndStreamedMember();
  writer.Finish();
  EXPECT_TRUE(ListNames(dir / "spill").empty());
  EXPECT_EQ(UnzipMember(writer.Path(), "index/index.xml"), content);
}

TEST(ArchiveWriter, EmptyStreamedMemberIsStored) {
  TTempFolder dir;
  TArchiveWriter writer(dir / "a.zip", dir / "", 0);
  writer.BeginStreamedMember("empty.xml");
  writer.EndStreamedMember();
  writer.Finish();
  TZelZip zip;
  zip.OpenArchive(writer.Path());
  EXPECT_EQ(zip.Entries()[0].CentralDirectoryFile.CompressionMethod, kMethodStored);
  EXPECT_EQ(zip.Entries()[0].CentralDirectoryFile.CompressedSize, 0u);
}

TEST(ArchiveWriter, UnfinishedArchiveStaysForItsOwnerAndWorkersAreJoined) {
  TTempFolder dir;
  {
    TArchiveWriter writer(dir / "a.zip", dir / "", 2);
    for (int i = 0; i < 6; ++i) writer.AddMember("m" + std::to_string(i), Noise(500000, i), 0);
    writer.BeginStreamedMember("index.xml").WriteString("abc");
  }  // no Finish: the destructor stops the workers and finishes nothing
  EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"a.zip"});
  std::string bytes = ReadFile(dir / "a.zip");
  EXPECT_TRUE(bytes.size() < 22 || bytes.compare(bytes.size() - 22, 4, "PK\x05\x06") != 0);
}

}  // namespace
}  // namespace voltrane::test
