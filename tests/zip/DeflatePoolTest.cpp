#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "rt/Exception.h"
#include "rt/Path.h"
#include "rt/Stream.h"
#include "util/Crc32.h"
#include "zip/DeflatePool.h"
#include "zip/DeflatingFileStream.h"
#include "zip/ZelZip.h"
#include "zip/ZipFolder.h"
#include "zip/ZipTestSupport.h"

namespace voltrane {
namespace {

using test::ReadFile;
using test::WriteFile;

// Waypoint-like text that deflates to about two thirds: numbers vary, tags repeat.
std::string GpxLike(int waypoints, uint32_t seed) {
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<gpx>\r\n";
  for (int i = 0; i < waypoints; ++i) {
    seed = seed * 1103515245 + 12345;
    text += "<wpt lat=\"" + std::to_string(seed % 90000) + "\" lon=\"" +
            std::to_string((seed >> 8) % 180000) + "\"><name>GC" + std::to_string(seed >> 12) +
            "</name><desc>" + test::Noise(40 + seed % 80, seed * 2654435761u) + "</desc></wpt>\r\n";
  }
  return text + "</gpx>\r\n";
}

// A working tree as a build leaves it: several chunks whose deflate output spans more than
// one 64 KiB block, an empty file, a small index in a folder chain.
class DeflatePoolRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string data = tree + "data/";
    std::string index = tree + "index/com/v0/";
    ASSERT_TRUE(ForceDirectories(data) && ForceDirectories(index));
    WriteFile(data + "a_0000.gpx", GpxLike(3000, 1));
    WriteFile(data + "a_0001.gpx", GpxLike(2500, 2));
    WriteFile(data + "b-2_0000.gpx", GpxLike(1000, 3) + test::Noise(150000));
    WriteFile(data + "empty.gpx", "");
    WriteFile(index + "index.xml", "<ggz>\r\n<file/>\r\n</ggz>\r\n");
    chunks = {data + "b-2_0000.gpx", data + "a_0001.gpx", data + "a_0000.gpx"};  // split order
  }

  std::string Zip(TDeflatePool* pool) {
    ZipFolder(archive, tree, pool);
    return ReadFile(archive);
  }
  // The same archive through the component, set up by configure before the walk.
  std::string ZipWith(TDeflatePool* pool, const std::function<void(TZelZip&)>& configure) {
    TZelZip zip;
    TFileStream(archive, TFileMode::Create).WriteString(test::Hex("504B0506") + std::string(18, 0));
    zip.OpenArchive(archive);
    zip.SetDeflatePool(pool);
    configure(zip);
    zip.Entries().AddFolderTree(dir / "tree", dir / "tree", "*.*", true);
    zip.CloseArchive();
    return ReadFile(archive);
  }

  test::TTempFolder dir;
  std::string tree = dir / "tree/";
  std::string spill = dir / "deflate/";
  std::string archive = dir / "out.zip";
  std::vector<std::string> chunks;
};

TEST_F(DeflatePoolRun, ArchiveIsByteIdenticalWhateverTheThreadCount) {
  const std::string expected = Zip(nullptr);
  ASSERT_TRUE(test::UnzipTest(archive).Ok);
  EXPECT_EQ(TDeflatePool(spill).ThreadCount(), UsableCpuCount());
  for (int threads = 1; threads <= 4; ++threads) {
    SCOPED_TRACE(threads);
    {
      // Chunks submitted while the split goes on, out of the walk's order; the rest ahead.
      TDeflatePool pool(spill, threads);
      for (const std::string& chunk : chunks) pool.Submit(chunk);
      EXPECT_EQ(Zip(&pool), expected);
    }
    {
      // Every member waits in a spill file before the archive is written.
      TDeflatePool pool(spill, threads);
      for (const std::string& chunk : chunks) pool.Submit(chunk);
      pool.Wait();
      EXPECT_EQ(test::ListNames(spill),
                (std::vector<std::string>{"0.deflate", "1.deflate", "2.deflate"}));
      EXPECT_EQ(Zip(&pool), expected);
      EXPECT_EQ(test::ListNames(spill), std::vector<std::string>{});
    }
    {
      // Chunks handed over with their bytes and CRC as the split writes them, each filling
      // a buffer that an earlier chunk gave back, if any (a longer one: what it held before
      // must not show through).
      TDeflatePool pool(spill, threads);
      std::string buffer;
      size_t smallest = SIZE_MAX;
      for (const std::string& chunk : chunks) {
        std::string bytes = ReadFile(chunk);
        smallest = std::min(smallest, bytes.size());
        buffer.assign(bytes);
        pool.Submit(chunk, std::move(buffer), Crc32Of(bytes));
        buffer = pool.TakeSpareBuffer();
        EXPECT_TRUE(buffer.empty());
      }
      pool.Wait();
      std::string spare = pool.TakeSpareBuffer();  // unless the last take got it already
      EXPECT_TRUE(spare.empty());
      EXPECT_GE(std::max(spare.capacity(), buffer.capacity()), smallest);
      EXPECT_EQ(Zip(&pool), expected);
    }
    EXPECT_FALSE(test::PathExists(spill));
  }
}

// The index of a build is deflated while it is written, in pieces of every size, and
// handed to the pool; the archive must not tell it from one deflated afterwards.
TEST_F(DeflatePoolRun, ContentDeflatedWhileWrittenMatchesContentDeflatedAfterwards) {
  std::string indexPath = tree + "index/com/v0/index.xml";
  // Over 4 MiB: the window slides, and the stream deflates part of what it holds back on
  // the way and the rest at the end.
  std::string text = GpxLike(50000, 9);
  ASSERT_GT(text.size(), 4500000u);
  for (int threads = 1; threads <= 2; ++threads) {
    SCOPED_TRACE(threads);
    {
      TDeflatePool pool(spill, threads);
      for (const std::string& chunk : chunks) pool.Submit(chunk);
      TDeflatingFileStream index(indexPath, pool.NewSpillPath(), pool.CompressionType());
      for (size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece * 7 % 40009)
        index.WriteString(text.substr(at, piece));
      EXPECT_EQ(index.Position(), int64_t(text.size()));
      index.Close();
      pool.Adopt(indexPath, index.TakeContent());
      std::string adopted = Zip(&pool);
      EXPECT_EQ(ReadFile(indexPath), text);
      EXPECT_EQ(adopted, Zip(nullptr));
      EXPECT_EQ(test::UnzipMember(archive, "index/com/v0/index.xml"), text);
    }
    EXPECT_FALSE(test::PathExists(spill));
  }
  // Nothing written: an empty member, stored, as from an empty file.
  TDeflatePool pool(spill, 1);
  TDeflatingFileStream empty(indexPath, pool.NewSpillPath(), pool.CompressionType());
  EXPECT_THROW(empty.SetPosition(0), ECompressionError);
  empty.Close();
  TPreparedZipItem item = empty.TakeContent();
  EXPECT_EQ(item.Method, kMethodStored);
  EXPECT_EQ(item.CompressedSize(), 0);
  pool.Adopt(indexPath, std::move(item));
  std::string adopted = Zip(&pool);
  EXPECT_EQ(adopted, Zip(nullptr));
}

TEST_F(DeflatePoolRun, FilesPreparedButNeverTakenLeaveNoSpillFile) {
  {
    TDeflatePool pool(spill, 2);
    for (const std::string& chunk : chunks) pool.Submit(chunk);
    pool.Wait();
    EXPECT_EQ(test::ListNames(spill).size(), 3u);
  }
  EXPECT_FALSE(test::PathExists(spill));
  // A folder that was there before stays.
  ASSERT_EQ(mkdir(spill.c_str(), 0777), 0);
  {
    TDeflatePool pool(spill, 1);
    pool.Submit(chunks[0]);
  }
  EXPECT_EQ(test::ListNames(spill), std::vector<std::string>{});
}

TEST_F(DeflatePoolRun, FileChangedAfterItWasPreparedIsDeflatedAgain) {
  TDeflatePool pool(spill, 1);
  for (const std::string& chunk : chunks) pool.Submit(chunk);
  pool.Wait();
  // Another size; and the same size with other bytes, told apart by its time alone.
  WriteFile(chunks[0], GpxLike(900, 7));
  std::string same = ReadFile(chunks[1]);
  same[100] ^= 1;
  WriteFile(chunks[1], same);
  timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, chunks[1].c_str(), times, 0), 0);

  std::string withPool = Zip(&pool);
  EXPECT_EQ(withPool, Zip(nullptr));
  EXPECT_EQ(test::UnzipMember(archive, "data/a_0001.gpx"), same);
}

TEST_F(DeflatePoolRun, WithACompressHandlerMembersAreDeflatedOnTheCallersThread) {
  using TEvents = std::vector<std::pair<int64_t, int64_t>>;
  TEvents expected, events;
  auto recordInto = [](TEvents& list) {
    return [&list](TZelZip& zip) {
      zip.OnCompressFile = [&list](TZelZip&, int64_t current, int64_t total) {
        list.emplace_back(current, total);
      };
    };
  };
  std::string plain = ZipWith(nullptr, recordInto(expected));
  TDeflatePool pool(spill, 2);
  for (const std::string& chunk : chunks) pool.Submit(chunk);
  pool.Wait();
  EXPECT_EQ(ZipWith(&pool, recordInto(events)), plain);
  EXPECT_EQ(events, expected);
  // One event per full output block of each chunk, each counting that chunk's bytes.
  ASSERT_GE(expected.size(), 4u);
  EXPECT_EQ(expected.front().second, int64_t(ReadFile(dir / "tree/data/a_0000.gpx").size()));
  EXPECT_LT(expected.front().first, expected.front().second);
}

TEST_F(DeflatePoolRun, WholeArchiveRewriteTakesSpilledMembersToo) {
  auto rebuildAll = [](TZelZip& zip) { zip.SetSaveMethod(TZipSaveMethod::RebuildAll); };
  std::string plain = ZipWith(nullptr, rebuildAll);
  EXPECT_EQ(plain, Zip(nullptr));
  TDeflatePool pool(spill, 2);
  for (const std::string& chunk : chunks) pool.Submit(chunk);
  pool.Wait();
  EXPECT_EQ(ZipWith(&pool, rebuildAll), plain);
}

TEST_F(DeflatePoolRun, WorkerErrorReachesTheCallerAtItsMemberWithItsMessage) {
  std::string inTheWay = spill + "1.deflate";
  {
    TDeflatePool pool(spill, 1);
    pool.Submit(dir / "tree/data/a_0000.gpx");
    pool.Wait();
    // The next spill file cannot be created: a folder holds its name.
    ASSERT_EQ(mkdir(inTheWay.c_str(), 0777), 0);
    pool.Submit(dir / "tree/data/a_0001.gpx");
    pool.Submit(dir / "tree/data/b-2_0000.gpx");  // not started after the failure
    pool.Wait();
    test::ExpectError<EFCreateError>([&] { Zip(&pool); }, "EFCreateError",
                                     "Cannot create file \"" + inTheWay + "\". Is a directory");
    // The member before it was appended from its spill file, which is gone with it.
    EXPECT_EQ(test::ListNames(spill), std::vector<std::string>{"1.deflate"});
    ASSERT_EQ(rmdir(inTheWay.c_str()), 0);
  }
  EXPECT_FALSE(test::PathExists(spill));

  TDeflatePool pool(spill, 1);
  pool.Submit(dir / "tree/data");
  pool.Wait();
  test::ExpectError<EFReadError>([&] { pool.Take(dir / "tree/data"); }, "EFReadError",
                                 "Cannot read file \"" + dir / "tree/data" + "\". Is a directory");
  EXPECT_FALSE(pool.Take(dir / "tree/data/a_0000.gpx"));  // never submitted
}

}  // namespace
}  // namespace voltrane
