// Memory stays bounded whatever the source size and shape: each run stays under 64 MiB of
// peak resident size.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <cstdio>

#include "RunChecks.h"
#include "rt/Stream.h"
#ifdef VOLTRANE_BENCH_KIT  // the generator comes with the benchmark kit
#include "bench/GpxGenerator.h"
#endif

extern "C" int __asan_address_is_poisoned(void const volatile* address) __attribute__((weak));

namespace voltrane::test {
namespace {

// Runs the tool on the source into a folder of its own, with the checks every run gets.
TProcessResult RunInto(const TTempFolder& dir, const std::string& source) {
  mkdir((dir / "out").c_str(), 0755);
  return RunWatched(dir / "out", {VoltraneExe(), source, "o.ggz"}, {},
                    [](auto& result) { return result.ExitCode == 0 ? "o.ggz" : ""; });
}

TEST(Memory, PeakResidentSizeStaysUnder64MiBForUnusualShapes) {
  // The sanitizer's own memory would be measured, and its slowness would make the runs long.
  if (__asan_address_is_poisoned != nullptr) GTEST_SKIP() << "built with AddressSanitizer";
  std::string point = "<trkpt lat=\"50.123456\" lon=\"14.123456\"><ele>200</ele></trkpt>\r\n";
  std::string track = kGpxHeader + "<trk><trkseg>\r\n", caches;
  for (int k = 0; k < 300; ++k)
    caches += Waypoint("GC1", "<desc>" + Letters(3000, 1) + "</desc><sym>Geocache</sym>");
  const struct {
    const char* shape;
    std::string head, piece;
    int64_t repeat;
    std::string tail, processed;  // the waypoints counted, or "" when there are none
  } rows[] = {
      {"60 MB track before 300 caches", track, point, 60000000 / int64_t(point.size()),
       "</trkseg></trk>\r\n" + caches + "</gpx>\r\n", "Processed waypoints: 300"},
      {"500 MB without waypoints", track, point, 500000000 / int64_t(point.size()),
       "</trkseg></trk>\r\n</gpx>\r\n", ""},
      {"400,000 tiny waypoints", kGpxHeader, "<wpt lat=\"1\" lon=\"2\"></wpt>", 400000,
       "</gpx>\r\n", "Processed waypoints: 400000"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shape);
    TTempFolder dir;
    {  // head, repeat copies of piece, then tail, written without holding the whole file
      TFileStream file(dir / "in.gpx", TFileMode::Create);
      std::string block;
      for (int k = 0; k < 10000; ++k) block += row.piece;
      file.WriteString(row.head);
      for (int64_t k = 0; k < row.repeat / 10000; ++k) file.WriteString(block);
      file.WriteString(block.substr(0, row.piece.size() * (row.repeat % 10000)) + row.tail);
    }
    TProcessResult run = RunInto(dir, dir / "in.gpx");
    ASSERT_EQ(run.ExitCode, 0) << run.Output.substr(0, 2000);
    EXPECT_LT(run.PeakResidentKiB, 64 * 1024);
    EXPECT_NE(run.Output.find(row.processed), std::string::npos);
    EXPECT_EQ(run.Output.find("Processed") != std::string::npos, !row.processed.empty());
  }
}

#ifdef VOLTRANE_BENCH_KIT

TEST(Memory, PeakResidentSizeStaysUnder64MiBFor300MB) {
  TTempFolder dir;
  {
    TFileStream source(dir / "big.gpx", TFileMode::Create);
    GenerateGpx(source, {300000000, 50000000, 7});
  }
  // The same source as it is and zipped, a pocket query as it is downloaded: read as a
  // stream, never held.
  ASSERT_EQ(
      RunProcess({"/usr/bin/zip", "-q", "-1", "-j", dir / "big.zip", dir / "big.gpx"}).ExitCode, 0);
  for (const char* source : {"big.gpx", "big.zip"}) {
    // The watched run snapshots the folder in this process, which the forked tool counts
    // until it is exec'ed: no archive of the run before may be there.
    std::remove((dir / "out/o.ggz").c_str());
    TProcessResult run = RunInto(dir, dir / source);
    ASSERT_EQ(run.ExitCode, 0) << run.Output.substr(0, 2000);
    EXPECT_LT(run.PeakResidentKiB, 64 * 1024) << source;
  }
}

#endif

}  // namespace
}  // namespace voltrane::test
