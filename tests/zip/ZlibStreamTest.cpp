#include <gtest/gtest.h>

#include "zip/ZipTestSupport.h"
#include "zip/ZlibStream.h"

namespace voltrane::test {
namespace {

// A zlib stream of that many bytes inflated by zlib, its checksum checked; "<bad>" if it fails.
std::string Inflated(const std::string& zlib, size_t size) {
  std::string out(size, '\0');
  uLongf length = uLongf(size);
  int result = uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                          reinterpret_cast<const Bytef*>(zlib.data()), uLong(zlib.size()));
  return result == Z_OK && length == size ? out : "<bad>";
}

TEST(DeflateAdapter, SmallOutputReachesTheDestinationOnlyAtFinishInOneWrite) {
  TWatchedStream out;
  int progress = 0;
  TCompressionStream deflater(TCompressionLevel::clDefault, out);
  deflater.OnProgress = [&](TCustomZlibStream&) { ++progress; };
  deflater.WriteString(std::string(1000, 'x'));
  int64_t position = deflater.Position(), writesBefore = out.Writes;
  deflater.Finish();
  EXPECT_EQ(std::tuple(position, writesBefore, out.Writes, progress), std::tuple(1000, 0, 1, 0));
  EXPECT_EQ(Inflated(out.DataString(), 1000), std::string(1000, 'x'));
  // A stream never finished is abandoned, not completed: it writes nothing.
  { TCompressionStream(TCompressionLevel::clMax, out).WriteString("abc"); }
  EXPECT_EQ(out.Writes, 1);
}

TEST(DeflateAdapter, WritesWholeBuffersAndReportsEachOne) {
  // Incompressible content of three whole buffers, each written and reported, then the rest,
  // written at Finish and not reported.
  std::string content = Noise(200000);
  TWatchedStream out;
  std::vector<int64_t> sizesSeen;
  TCompressionStream deflater(TCompressionLevel::clFastest, out);
  deflater.OnProgress = [&](TCustomZlibStream&) { sizesSeen.push_back(out.Size()); };
  deflater.WriteString(content);
  deflater.Finish();
  EXPECT_EQ(std::pair(sizesSeen, out.Writes),
            std::pair(std::vector<int64_t>{65536, 2 * 65536, 3 * 65536}, 4));
  EXPECT_EQ(Inflated(out.DataString(), content.size()), content);
}

// Each row: a level and the zlib stream of abc, written after "head" however the destination
// moved in between. Level 9 in both formats is pinned by the archive bytes and this test.
TEST(DeflateAdapter, WritesAbcExactlyAndMovesTheDestinationBackWhereItLeftIt) {
  const std::pair<TCompressionLevel, std::string> kCases[] = {
      {TCompressionLevel::clNone, Hex("7801 010300FCFF616263 024D0127")},
      {TCompressionLevel::clMax, Hex("78DA4B4C4A0600024D0127")}};
  for (const auto& [level, expected] : kCases) {
    TMemoryStream out;
    out.WriteString("head");
    TCompressionStream deflater(level, out);
    deflater.WriteString("ab");
    out.SetPosition(0);
    deflater.WriteString("c");
    out.SetPosition(1);
    deflater.Finish();
    EXPECT_EQ(out.DataString(), "head" + expected);
  }
}

TEST(DeflateAdapter, RefusesReadsAndSeeksOtherThanThePositionAndPassesOnWriteErrors) {
  TViewStream readOnly("", 0);
  TCompressionStream deflater(TCompressionLevel::clDefault, readOnly);
  char byte;
  EXPECT_EQ(KindAndMessageOf([&] { deflater.Read(&byte, 1); }),
            "ECompressionError: Invalid stream operation");
  EXPECT_THROW(deflater.Seek(1, TSeekOrigin::Current), ECompressionError);
  EXPECT_THROW(deflater.Seek(0, TSeekOrigin::Beginning), ECompressionError);
  EXPECT_EQ(deflater.Seek(0, TSeekOrigin::Current), 0);
  deflater.WriteString("abc");
  EXPECT_EQ(KindAndMessageOf([&] { deflater.Finish(); }), "EWriteError: Stream write error");
}

}  // namespace
}  // namespace voltrane::test
