// The benchmark kit is built only with VOLTRANE_BENCH; without it there is nothing to test.
#ifdef VOLTRANE_BENCH_KIT

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <regex>

#include "TestSupport.h"
#include "bench/GpxGenerator.h"
#include "bench/PieceDeflate.h"
#include "bench/SplitOnlyRun.h"
#include "ggz/SplitGpxFile.h"
#include "rt/Exception.h"
#include "util/Crc32.h"

namespace voltrane {
namespace {

std::string Generated(int64_t waypointBytes, uint64_t seed, int64_t trackBytes = 0,
                      TGpxGeneratorTotals* totals = nullptr) {
  TMemoryStream out;
  TGpxGeneratorTotals made = GenerateGpx(out, {waypointBytes, trackBytes, seed});
  if (totals) *totals = made;
  EXPECT_EQ(made.Bytes, out.Size());
  return out.DataString();
}

uint32_t Crc(const std::string& bytes) {
  uint32_t crc = CrcInit();
  CrcUpdate(crc, bytes);
  CrcFinal(crc);
  return crc;
}

// The wpt elements of a document, from "<wpt" through "</wpt>".
std::vector<std::string> Waypoints(const std::string& gpx) {
  std::vector<std::string> found;
  for (size_t at = gpx.find("<wpt "); at != std::string::npos; at = gpx.find("<wpt ", at)) {
    size_t end = gpx.find("</wpt>", at) + 6;
    found.push_back(gpx.substr(at, end - at));
    at = end;
  }
  return found;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Empty when the bytes are UTF-8, else where they stop being it.
std::string Utf8Fault(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (extra == 9 || i + extra >= text.size()) return "at " + std::to_string(i);
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return "at " + std::to_string(i);
    i += extra + 1;
  }
  return "";
}

// Empty when every tag is closed in order and every "&" starts an XML entity, else the
// first fault. Enough XML to catch a name or text that the generator forgot to escape.
std::string XmlFault(const std::string& xml) {
  std::vector<std::string> open;
  for (size_t i = 0; i < xml.size(); ++i) {
    if (xml[i] == '&') {
      static const char* kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
      bool known = false;
      for (const char* entity : kEntities) known |= xml.compare(i, strlen(entity), entity) == 0;
      if (!known) return "bare & at " + std::to_string(i);
    }
    if (xml[i] != '<') continue;
    size_t end = xml.find('>', i);
    if (end == std::string::npos) return "unclosed tag at " + std::to_string(i);
    std::string tag = xml.substr(i + 1, end - i - 1);
    if (tag.empty() || tag.find('<') != std::string::npos) return "bad tag at " + std::to_string(i);
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1))
        return "</" + tag.substr(1) + "> out of order";
      open.pop_back();
    } else if (tag[0] != '?' && tag.back() != '/') {
      open.push_back(tag.substr(0, tag.find_first_of(" \r\n")));
    }
    i = end;
  }
  return open.empty() ? "" : "<" + open.back() + "> never closed";
}

TEST(GpxGenerator, SameOptionsGiveTheSameBytesOnEveryMachine) {
  std::string gpx = Generated(200000, 42);
  EXPECT_EQ(gpx, Generated(200000, 42));
  // Pinned, so that a change of the bytes (and of every cached input) is a deliberate one.
  EXPECT_EQ(gpx.size(), 201164u);
  EXPECT_EQ(Crc(gpx), 0xBF7F1F37u);
  EXPECT_NE(Generated(200000, 43), gpx);
}

TEST(GpxGenerator, WritesAWellFormedPocketQueryWithCrlfLineEnds) {
  std::string gpx = Generated(1000000, 7);
  EXPECT_EQ(gpx.substr(0, 43), "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n");
  EXPECT_NE(gpx.find("version=\"1.0\" creator=\"Groundspeak Pocket Query\""), std::string::npos);
  EXPECT_NE(gpx.find("xmlns:groundspeak=\"http://www.groundspeak.com/cache/1/0/1\""),
            std::string::npos);
  EXPECT_EQ(gpx.substr(gpx.size() - 18), "  </wpt>\r\n</gpx>\r\n");
  EXPECT_EQ(Count(gpx, "\n"), Count(gpx, "\r\n"));
  EXPECT_EQ(Count(gpx, "\r"), Count(gpx, "\r\n"));
  EXPECT_EQ(Utf8Fault(gpx), "");
  EXPECT_EQ(XmlFault(gpx.substr(3)), "");
  for (const char* letters : {"ř", "ü", "ł", "Κ", "&amp;amp;", "&lt;p&gt;", "Kaffee &amp; Kuchen"})
    EXPECT_NE(gpx.find(letters), std::string::npos) << letters;
}

TEST(GpxGenerator, CachesStayWithinTheirBoundsAndSomeChildWaypointsAreMixedIn) {
  TGpxGeneratorTotals totals;
  std::string gpx = Generated(2000000, 3, 0, &totals);
  int64_t caches = 0, children = 0, found = 0;
  for (const std::string& wpt : Waypoints(gpx)) {
    if (wpt.find("<groundspeak:cache ") == std::string::npos) {
      ++children;
      EXPECT_NE(wpt.find("<type>Waypoint|"), std::string::npos) << wpt;
      continue;
    }
    ++caches;
    EXPECT_GE(int64_t(wpt.size()), kMinCacheBytes);
    EXPECT_LE(int64_t(wpt.size()), kMaxCacheBytes);
    size_t logs = Count(wpt, "<groundspeak:log ");
    EXPECT_TRUE(logs >= 1 && logs <= 10) << logs;
    EXPECT_EQ(Count(wpt, "<groundspeak:date>"), logs);
    EXPECT_NE(wpt.find("<type>Geocache|"), std::string::npos);
    found += wpt.find("<sym>Geocache Found</sym>") != std::string::npos;
    std::string cache = wpt.substr(0, wpt.find("<groundspeak:logs>"));
    for (const char* element :
         {"name", "placed_by", "type", "container", "difficulty", "terrain", "country", "state",
          "short_description html=\"True\"", "long_description html=\"True\"", "encoded_hints"})
      EXPECT_EQ(Count(cache, std::string("<groundspeak:") + element + ">"), 1u) << element;
  }
  EXPECT_EQ(caches, totals.Caches);
  EXPECT_EQ(children, totals.ChildWaypoints);
  // About one in twenty waypoints is a child, about one in eight caches is found.
  EXPECT_GT(children * 50, caches + children);
  EXPECT_LT(children * 10, caches + children);
  EXPECT_GT(found * 16, caches);
  EXPECT_LT(found * 4, caches);
}

TEST(GpxGenerator, StopsOnceTheSizeIsReached) {
  TGpxGeneratorTotals totals;
  std::string gpx = Generated(300000, 9, 0, &totals);
  EXPECT_GE(int64_t(gpx.size()), 300000);
  // One cache, perhaps its child waypoint and the closing past the size, no more.
  EXPECT_LT(int64_t(gpx.size()), 300000 + kMaxCacheBytes + 1000);
  EXPECT_EQ(totals.TrackPoints, 0);
  EXPECT_EQ(gpx.find("<trk>"), std::string::npos);
}

TEST(GpxGenerator, TrackFollowsTheWaypointsAndNoChunkKeepsIt) {
  test::TTempFolder dir;
  TGpxGeneratorTotals totals;
  std::string gpx = Generated(150000, 5, 300000, &totals);
  size_t track = gpx.find("  <trk>\r\n"), end = gpx.find("  </trk>\r\n</gpx>\r\n");
  ASSERT_NE(track, std::string::npos);
  EXPECT_EQ(end + 18, gpx.size());
  EXPECT_GT(track, gpx.rfind("</wpt>"));
  EXPECT_GE(end + 10 - track, 300000u);
  EXPECT_LT(end + 10 - track, 300000u + 200);
  EXPECT_EQ(int64_t(Count(gpx, "<trkpt ")), totals.TrackPoints);
  EXPECT_EQ(XmlFault(gpx.substr(3)), "");

  test::WriteFile(dir / "track.gpx", gpx);
  std::string chunks;
  TSplitOnlyFigures figures =
      RunSplitOnly(dir / "track.gpx", dir / "work", [&](const std::string& folder) {
        for (const std::string& name : test::ListNames(folder + "data/"))
          chunks += test::ReadFile(folder + "data/" + name);
      });
  EXPECT_EQ(figures.Waypoints, totals.Caches + totals.ChildWaypoints);
  EXPECT_EQ(chunks.find("<trk"), std::string::npos);
  EXPECT_EQ(Count(chunks, "<wpt "), size_t(figures.Waypoints));
}

TEST(SplitOnly, SplitsIntoAFreshTreeAndRemovesIt) {
  test::TTempFolder dir;
  std::string gpx = Generated(kChunkSizeLimit + 100000, 11);
  test::WriteFile(dir / "pq.gpx", gpx);
  std::vector<std::string> names;
  std::string index;
  TSplitOnlyFigures figures =
      RunSplitOnly(dir / "pq.gpx", dir / "work/deeper", [&](const std::string& folder) {
        EXPECT_EQ(folder.rfind(dir / "work/deeper/split-", 0), 0u) << folder;
        names = test::ListNames(folder + "data/");
        index = test::ReadFile(folder + "index.xml");
      });
  EXPECT_EQ(names, (std::vector<std::string>{"pq_0000.gpx", "pq_0001.gpx"}));
  EXPECT_EQ(figures.Chunks, 2);
  EXPECT_EQ(figures.SourceBytes, int64_t(gpx.size()));
  EXPECT_EQ(figures.Waypoints, int64_t(Waypoints(gpx).size()));
  EXPECT_EQ(figures.IndexBytes, int64_t(index.size()));
  EXPECT_EQ(Count(index, "<file>"), 2u);
  EXPECT_EQ(index.substr(index.size() - 8), "</ggz>\r\n");
  EXPECT_TRUE(test::ListNames(dir / "work/deeper").empty());
}

TEST(SplitOnly, MissingSourceRaisesAndLeavesNoTree) {
  test::TTempFolder dir;
  try {
    RunSplitOnly(dir / "none.gpx", dir / "work");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.KindName(), "EFOpenError");
    EXPECT_EQ(e.Message(),
              "Cannot open file \"" + dir / "none.gpx" + "\". No such file or directory");
  }
  EXPECT_TRUE(test::ListNames(dir / "work").empty());
}

std::string RawInflate(std::string_view compressed) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  std::string out(kFloorPieceBytes, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = uInt(compressed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);  // nothing after the stream's end
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

TEST(DeflateFloor, EachPieceIsItsOwnRawStreamOfTheSourceBytes) {
  std::string gpx = Generated(250000, 2);
  TMemoryStream source(gpx);
  std::vector<std::string> pieces;
  int64_t compressedBytes = 0;
  TDeflateFloor floor = DeflateInPieces(source, 100000, [&](std::string_view piece) {
    pieces.push_back(RawInflate(piece));
    compressedBytes += int64_t(piece.size());
  });
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], gpx.substr(0, 100000));
  EXPECT_EQ(pieces[1], gpx.substr(100000, 100000));
  EXPECT_EQ(pieces[2], gpx.substr(200000));
  EXPECT_EQ(floor.Pieces, 3);
  EXPECT_EQ(floor.SourceBytes, int64_t(gpx.size()));
  EXPECT_EQ(floor.CompressedBytes, compressedBytes);
  EXPECT_LT(floor.CompressedBytes * 3, floor.SourceBytes);

  TMemoryStream empty;
  EXPECT_EQ(DeflateInPieces(empty, 100000).Pieces, 0);
}

TEST(DeflateFloor, DeflatesAtLevelNineLikeTheArchive) {
  std::string gpx = Generated(100000, 4), compressed;
  size_t length = RawDeflate(gpx.data(), gpx.size(), compressed);
  // The same parameters through zlib's own one-call path give the same bytes.
  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string expected(deflateBound(&z, uLong(gpx.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(gpx.data());
  z.avail_in = uInt(gpx.size());
  z.next_out = reinterpret_cast<Bytef*>(expected.data());
  z.avail_out = uInt(expected.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  expected.resize(z.total_out);
  deflateEnd(&z);
  EXPECT_EQ(compressed.substr(0, length), expected);
}

}  // namespace
}  // namespace voltrane

#endif  // VOLTRANE_BENCH_KIT
