// The archive writer of a run: members in walk order whatever order they come in, the same
// bytes with and without workers, a large streamed member through a spill file.
#include <gtest/gtest.h>

#include "rt/Path.h"
#include "util/Crc32.h"
#include "zip/ArchiveWriter.h"
#include "zip/ZipTestSupport.h"

namespace voltrane::test {
namespace {

// The archive with its DOS times blanked (local and central records), for comparing runs.
std::string WithoutTimes(std::string bytes) {
  for (size_t at = 0; (at = bytes.find("PK", at)) != std::string::npos; at += 2) {
    if (bytes.compare(at, 4, "PK\x03\x04") == 0) bytes.replace(at + 10, 4, 4, '\0');
    if (bytes.compare(at, 4, "PK\x01\x02") == 0) bytes.replace(at + 12, 4, 4, '\0');
  }
  return bytes;
}

TEST(ArchiveWriter, ListsMembersInWalkOrderWhateverOrderTheyCameIn) {
  const struct {
    const char* why;
    std::vector<std::string> added;  // in the order added; names ending in "/" are folders
    std::vector<std::string> listed;
  } kCases[] = {
      {"in order",
       {"data/", "data/a_0000.gpx", "data/a_0001.gpx", "index/v0/index.xml"},
       {"data/", "data/a_0000.gpx", "data/a_0001.gpx", "index/", "index/v0/",
        "index/v0/index.xml"}},
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

TEST(ArchiveWriter, WritesTheSameBytesWhateverTheWorkerCount) {
  std::vector<std::string> chunks;
  for (int i = 0; i < 12; ++i) chunks.push_back(Noise(size_t(300000 + i * 7919), i));
  std::string first;
  for (int workers : {0, 1, 3}) {
    TTempFolder dir;
    TArchiveWriter writer(dir / "a.zip", dir / "", workers);
    writer.AddFolder("data/");
    for (size_t i = 0; i < chunks.size(); ++i)
      writer.AddMember("data/c_" + std::to_string(1000 + i) + ".gpx", chunks[i],
                       Crc32Of(chunks[i]));
    writer.Finish();
    std::string bytes = WithoutTimes(ReadFile(writer.Path()));
    if (first.empty()) first = bytes;
    EXPECT_EQ(bytes, first) << workers << " workers";
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
