// A member larger than what is read in one go (a very large index) is deflated in blocks,
// with the same bytes as in one write, and may wait in a spill file instead of memory.
#include <gtest/gtest.h>
#include <zlib.h>

#include "rt/Stream.h"
#include "util/Crc32.h"
#include "zip/ZelZip.h"
#include "zip/ZipItem.h"
#include "zip/ZipTestSupport.h"

namespace voltrane {
namespace {

// Text that deflate shrinks a lot but not trivially, well past the one-write limit.
std::string LargeText() {
  std::string text;
  for (int i = 0; int64_t(text.size()) < kOneWriteLimit + 3 * kContentBlock + 123; ++i)
    text += "      <gch>\r\n         <code>GC" + std::to_string(i * 7919 % 100003) + "</code>\r\n";
  return text;
}

// zlib's raw deflate of everything in one call, as the one-write path makes it.
std::string RawDeflateAtOnce(const std::string& content) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(content.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = uInt(content.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(LargeMember, IsDeflatedInBlocksToTheSameBytes) {
  std::string content = LargeText();
  TMemoryStream stream(content);
  TPreparedZipItem item = PrepareZipContent(stream, TZipCompressionType::ctMaximum);
  EXPECT_EQ(item.UncompressedSize, int64_t(content.size()));
  EXPECT_EQ(item.Crc32, Crc32Of(content));
  EXPECT_EQ(item.Data, RawDeflateAtOnce(content));
}

TEST(LargeMember, WaitsInTheSpillFolderAndLeavesNoFileBehind) {
  test::TTempFolder dir;
  std::string content = LargeText();
  TZelZip zip;
  {
    TFileStream file(dir / "a.zip", TFileMode::Create);
    zip.CreateEmptyArchive(file);
  }
  zip.SetSpillFolder(dir / "spill/");
  zip.OpenArchive(dir / "a.zip");
  TMemoryStream stream(content);
  int64_t lastProgress = 0;
  zip.OnCompressFile = [&](TZelZip&, int64_t current, int64_t total) {
    EXPECT_EQ(total, int64_t(content.size()));
    EXPECT_GE(current, lastProgress);
    lastProgress = current;
  };
  zip.Entries().AddStreamItem("index.xml", 0x20, EncodeDateTime({2026, 1, 2}), stream);
  zip.CloseArchive();
  EXPECT_GT(lastProgress, 0);
  EXPECT_TRUE(test::PathExists(dir / "spill"));  // the data waited there
  EXPECT_TRUE(test::ListNames(dir / "spill").empty());
  EXPECT_EQ(test::RunProcess({"/usr/bin/unzip", "-tq", dir / "a.zip"}).ExitCode, 0);
  EXPECT_EQ(test::RunProcess({"/usr/bin/unzip", "-p", dir / "a.zip", "index.xml"}).Output, content);
}

}  // namespace
}  // namespace voltrane
