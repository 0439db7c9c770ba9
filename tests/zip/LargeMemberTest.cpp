// A member larger than what is read in one go (a very large index) is deflated in blocks,
// with the same bytes as in one write, and may wait in a spill file instead of memory.
#include <gtest/gtest.h>

#include "util/Crc32.h"
#include "zip/ZipTestSupport.h"

namespace voltrane::test {
namespace {

TEST(LargeMember, IsDeflatedInBlocksToTheSameBytes) {
  // Text that deflate shrinks a lot but not trivially, well past the one-write limit.
  std::string content;
  for (int i = 0; int64_t(content.size()) < kOneWriteLimit + 3 * kContentBlock + 123; ++i)
    content +=
        "      <gch>\r\n         <code>GC" + std::to_string(i * 7919 % 100003) + "</code>\r\n";
  TMemoryStream stream(content);
  TPreparedZipItem item = PrepareZipContent(stream, TZipCompressionType::ctMaximum);
  EXPECT_EQ(std::tuple(item.UncompressedSize, item.Crc32, item.Data),
            std::tuple(int64_t(content.size()), Crc32Of(content), RawDeflate(content, 9)));
}

using LargeMemberOfAnArchive = ZipFile;

TEST_F(LargeMemberOfAnArchive, WaitsInTheSpillFolderReportingProgressAndLeavesNoFile) {
  // Deflate data past what stays in memory: noise does not shrink.
  std::string content = Noise(size_t(TSpillingOutput::kMemberInMemory) + 100000);
  zip.SetSpillFolder(dir / "spill/");
  int64_t lastProgress = 0;
  bool spilled = false;
  zip.OnCompressFile = [&](TZelZip&, int64_t current, int64_t total) {
    EXPECT_EQ(total, int64_t(content.size()));
    EXPECT_GE(current, lastProgress);
    lastProgress = current;
    spilled = spilled || !ListNames(dir / "spill").empty();
  };
  Add("index.xml", content);
  zip.CloseArchive();
  EXPECT_EQ(std::tuple(lastProgress > 0, spilled, ListNames(dir / "spill").size()),
            std::tuple(true, true, 0u));
  ExpectReadable(archive, {{"index.xml", content}});
}

}  // namespace
}  // namespace voltrane::test
