// The benchmark kit is built only with VOLTRANE_BENCH; without it there is nothing to test.
#ifdef VOLTRANE_BENCH_KIT

#include <gtest/gtest.h>
#include <zlib.h>

#include <tuple>

#include "bench/GpxGenerator.h"
#include "bench/PieceDeflate.h"
#include "bench/SplitOnlyRun.h"
#include "cli/RunChecks.h"
#include "ggz/SplitGpxFile.h"

namespace voltrane::test {
namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Generated(int64_t waypointBytes, uint64_t seed, int64_t trackBytes = 0,
                      TGpxGeneratorTotals* totals = nullptr) {
  TMemoryStream out;
  TGpxGeneratorTotals made = GenerateGpx(out, {waypointBytes, trackBytes, seed});
  if (totals) *totals = made;
  EXPECT_EQ(made.Bytes, out.Size());
  return out.DataString();
}

// The bytes (header, CRLF line ends, escaped letters, cache sizes, child waypoints mixed in,
// no track) are pinned, so that a change of them (and of every cached input) is a deliberate
// one; the totals the benchmark reports match what was written.
TEST(GpxGenerator, SameOptionsGiveTheSameBytesOnEveryMachineAndTheirTotals) {
  TGpxGeneratorTotals totals;
  std::string gpx = Generated(200000, 42, 0, &totals);
  EXPECT_EQ(gpx, Generated(200000, 42));
  EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(gpx.data()), uInt(gpx.size())), 0xBF7F1F37u);
  EXPECT_NE(Generated(200000, 43), gpx);
  size_t caches = Count(gpx, "<groundspeak:cache "), waypoints = Count(gpx, "<wpt ");
  EXPECT_EQ(std::tuple(totals.Caches, totals.ChildWaypoints, totals.TrackPoints),
            std::tuple(caches, waypoints - caches, 0));
  // One cache, perhaps its child waypoint and the closing past the size, no more.
  int64_t size = int64_t(Generated(2000000, 3).size());
  EXPECT_TRUE(size >= 2000000 && size < 2000000 + kMaxCacheBytes + 1000) << size;
}

// The track comes after the waypoints; the split-only run splits the rest into chunks in a
// working tree that it makes (with its folders) and removes again.
TEST(SplitOnly, SplitsAGeneratedTrackAndCachesAndLeavesNothing) {
  TTempFolder dir;
  TGpxGeneratorTotals totals;
  std::string gpx = Generated(kChunkSizeLimit + 100000, 5, 300000, &totals);
  size_t track = gpx.find("  <trk>\r\n"), end = gpx.find("  </trk>\r\n</gpx>\r\n");
  EXPECT_EQ(end + 18, gpx.size());
  EXPECT_GT(track, gpx.rfind("</wpt>"));
  EXPECT_TRUE(end + 10 - track >= 300000 && end + 10 - track < 300000 + 200) << end - track;
  EXPECT_EQ(int64_t(Count(gpx, "<trkpt ")), totals.TrackPoints);
  EXPECT_EQ(XmlWellFormedError(gpx), "");

  WriteFile(dir / "pq.gpx", gpx);
  TSplitOnlyFigures figures = RunSplitOnly(dir / "pq.gpx", dir / "work/deeper");
  EXPECT_EQ(std::tuple(figures.Chunks, figures.SourceBytes, figures.Waypoints),
            std::tuple(2, gpx.size(), totals.Caches + totals.ChildWaypoints));
  EXPECT_GT(figures.IndexBytes, figures.Waypoints * 300);  // a record is longer than that
  EXPECT_TRUE(ListNames(dir / "work/deeper").empty());
}

TEST(SplitOnly, MissingSourceRaisesAndLeavesNoTree) {
  TTempFolder dir;
  EXPECT_EQ(
      KindAndMessageOf([&] { RunSplitOnly(dir / "none.gpx", dir / "work"); }),
      "EFOpenError: Cannot open file \"" + dir / "none.gpx" + "\". No such file or directory");
  EXPECT_TRUE(ListNames(dir / "work").empty());
}

TEST(DeflateFloor, EachPieceIsItsOwnRawStreamOfTheSourceBytes) {
  std::string gpx = Generated(250000, 2);
  TMemoryStream source(gpx);
  int64_t compressedBytes = 0, pieces = 0;
  TDeflateFloor floor = DeflateInPieces(source, 100000, [&](std::string_view piece) {
    std::string slice = gpx.substr(pieces++ * 100000, 100000), expected;
    size_t length = RawDeflate(slice.data(), slice.size(), expected);
    EXPECT_EQ(piece, expected.substr(0, length));
    compressedBytes += int64_t(piece.size());
  });
  EXPECT_EQ(std::tuple(floor.Pieces, floor.SourceBytes, floor.CompressedBytes),
            std::tuple(3, gpx.size(), compressedBytes));
  EXPECT_EQ(pieces, floor.Pieces);
  TMemoryStream empty;
  EXPECT_EQ(DeflateInPieces(empty, 100000).Pieces, 0);
}

// What the pieces above are checked against.
TEST(DeflateFloor, DeflatesAtLevelNineLikeTheArchive) {
  std::string gpx = Generated(100000, 4), compressed, wrapped(compressBound(gpx.size()), '\0');
  size_t length = RawDeflate(gpx.data(), gpx.size(), compressed);
  uLongf wrappedLength = wrapped.size();
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(wrapped.data()), &wrappedLength,
                      reinterpret_cast<const Bytef*>(gpx.data()), gpx.size(), 9),
            Z_OK);
  // zlib's one call at level 9 (window bits 15, memory level 8, default strategy) gives the
  // same stream between its two-byte header and four-byte checksum.
  EXPECT_EQ(compressed.substr(0, length), wrapped.substr(2, wrappedLength - 6));
}

}  // namespace
}  // namespace voltrane::test

#endif  // VOLTRANE_BENCH_KIT
